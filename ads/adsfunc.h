// The extended dataset operations: members named after the engine functions they call, for
// one open dataset. TAdsExtendedDataSet holds those that make sense for any cursor (tables and
// query results), TAdsExtendedTable those that need a table. Neither adds state.
//
// Every member follows one pattern: prepare the dataset (CheckBrowseMode and/or position the
// engine on the active record), make one engine call on one of the dataset's handles, check the
// result with CheckExtendedResult (5068 passes), then bring the buffers back in line with the
// engine's cursor (AdsExtendResync), announce a property change, or go to the top.
//
// Threading: a dataset is used by one thread at a time.
#pragma once

#include "ads/adsdata.h"

class TAdsExtendedDataSet : public TAdsDataSet {
 public:
  using TAdsDataSet::TAdsDataSet;

  // After an engine call that moved or changed the cursor: asks the engine whether the table
  // handle is at end and at beginning, forgets the current buffer, then First at beginning,
  // Last at end, otherwise Resync([]) around the engine's position.
  void AdsExtendResync();

 protected:
  // Engine code 5068 is ignored; every other code goes to CheckAceResult with this dataset.
  void CheckExtendedResult(uint32_t code);
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
 public:
  using TAdsExtendedDataSet::TAdsExtendedDataSet;

  // Rebuilds every index of the open table (AdsReindex61 with the options' index page size).
  // Needs the table open exclusively; the engine's error otherwise.
  void AdsReindex();
};
