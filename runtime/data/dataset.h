// TDataSet: the generic dataset of the framework. It keeps the state machine, a ring of record
// buffers over the rows of a cursor, the field objects and their definitions, the data sources
// linked to it and the Before/After events; a descendant supplies the cursor and the layout of
// the record buffers through the hooks below.
//
// The ring: FBuffers holds BufferCount() + 1 buffers while open (the last one is a spare used
// for fetching and by descendants for scratch work); buffers 0 to FRecordCount - 1 hold rows in
// cursor order, FActiveRecord is the current one and FCurrentRecord the buffer the cursor is
// positioned on (-1: unknown, UpdateCursorPos repositions through the buffer's bookmark flag:
// Current and Inserted through MoveToRecordBuffer, BeforeFirst through MoveToFirst, AfterLast
// through MoveToLast).
//
// Orders the descendants rely on:
//  open:   BeforeOpen; OpenEngineCursor; the internal open is marked complete; the ring is sized
//          (AllocateRecordBuffer per buffer) and filled with FetchRecord(Next); FBOF true; state
//          dsBrowse; FireAfterOpen. When a BeforeOpen handler or a descendant put the state to
//          dsOpening, OpenEngineCursor runs in OpenCursorComplete instead. When the open fails
//          the state becomes dsInactive and the cursor part of the close runs.
//  close:  BeforeClose (unless destroying); Cancel in dsEdit, dsInsert or dsSetKey; state
//          dsInactive; block reading off; every field frees its buffers; ResetBufferList; the
//          ring shrinks to zero (ReleaseRecordBuffer per buffer); CloseEngineCursor;
//          BufferCount 0; AfterClose (unless destroying).
//  Insert: ResetRecordBuffer on the new buffer (base part: FillNewRecord, ClearCalculatedArea,
//          BookmarkFlag Inserted), then the current record's bookmark is copied into it, or
//          BeforeFirst without a current record; Append empties the ring, initialises buffer 0
//          and marks it AfterLast, then reads the records before it. Both then call
//          BeginRecordInsert, enter dsInsert and run FireOnNewRecord.
//
// Descendants must close the dataset in their own destructor (CloseForDestruction), because the
// hooks are theirs.
//
// Threading: a dataset is used by one thread at a time; nothing here takes locks.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/component.h"
#include "runtime/data/db_types.h"
#include "runtime/data/field.h"
#include "runtime/data/field_defs.h"
#include "runtime/data/field_list.h"
#include "runtime/data/index_defs.h"
#include "runtime/data/stream.h"
#include "runtime/exception.h"

class TDataSource;
class TDataLink;

// A bookmark: FBookmarkSize bytes identifying a record; empty when absent.
using TBookmark = QByteArray;

class TDataSet : public TComponent {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet* dataSet)>;
  using TFilterRecordEvent = std::function<void(TDataSet* dataSet, bool& accept)>;
  using TDataSetErrorEvent = std::function<void(TDataSet* dataSet, const EDatabaseError& e, TDataAction& action)>;

  explicit TDataSet(TComponent* owner);
  ~TDataSet() override;

  // --- State -------------------------------------------------------------------------------
  // True while open (not dsInactive, not dsOpening).
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  // While the component is being loaded the value is kept and applied by Loaded.
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return FState; }
  bool Modified() const { return FModified; }
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  // Open, no record, not inserting.
  bool IsEmpty() const;
  bool Found() const { return FFound; }
  // EDatabaseError "Cannot perform this operation on a closed dataset" / "... on an open
  // dataset" (with the component's name).
  void RequireActive() const;
  void RequireInactive() const;
  // Requires the dataset open and sends deCheckBrowseMode; in dsEdit or dsInsert posts when
  // the record was modified, else cancels; in dsSetKey posts.
  void CheckBrowseMode();
  virtual bool CanModify() const { return true; }

  // --- Navigation ----------------------------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves up to distance records (negative: backwards); returns how far it moved. Sets Eof or
  // Bof when it runs into the end.
  int MoveBy(int distance);
  // Re-reads the current record (RefetchCurrentRecord) and refills the ring.
  void Refresh();
  // Refills the ring around the cursor's position: rmExact requires the current record to be
  // readable (else "Record not found"), rmCenter puts it in the middle of the ring, otherwise
  // it stays at the active buffer's place.
  void Resync(TResyncMode mode);
  // Positions the cursor on the active buffer when FCurrentRecord differs.
  void UpdateCursorPos();
  bool FindFirst() { return SearchRecord(true, true); }
  bool FindNext() { return SearchRecord(false, true); }
  bool FindPrior() { return SearchRecord(false, false); }
  bool FindLast() { return SearchRecord(true, false); }

  // --- Editing -------------------------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Inserts / appends a record with the given field values (in field order) and posts it.
  void InsertRecord(const QVariantList& values);
  void AppendRecord(const QVariantList& values);
  // Sets the fields in order to the values (a shorter list leaves the remaining fields).
  void SetFields(const QVariantList& values);
  // Re-initialises the record being edited.
  void ClearFields();
  // Asks linked controls to write their pending values (deUpdateRecord).
  void UpdateRecord();

  // --- Bookmarks -----------------------------------------------------------------------------
  // Whether the active buffer holds a record that has a bookmark.
  bool BookmarkAvailable();
  TBookmark GetBookmark();
  // Moves to the bookmarked record and refills the ring around it (an empty bookmark does
  // nothing).
  void GotoBookmark(const TBookmark& bookmark);
  TBookmark Bookmark() { return GetBookmark(); }
  void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
  virtual bool BookmarkValid(const TBookmark& bookmark);
  // Both present: byte comparison here (descendants compare positions); first present and
  // second absent -1; first absent and second present 1; both absent 0.
  virtual int CompareBookmarks(const TBookmark& bookmark1, const TBookmark& bookmark2);

  // --- Fields --------------------------------------------------------------------------------
  TFields& Fields() { return FFields; }
  const TFields& Fields() const { return FFields; }
  TFieldDefs& FieldDefs() { return FFieldDefs; }
  int FieldCount() const { return FFields.Count(); }
  TField* FieldByName(const QString& name) const { return FFields.FieldByName(name); }
  TField* FindField(const QString& name) const { return FFields.FindField(name); }
  // The fields named in a ";"-separated list; EDatabaseError for a name that matches none.
  void GetFieldList(std::vector<TField*>& list, const QString& fieldNames) const;
  QStringList GetFieldNames() const;
  // One name: the field's value; several: a QVariantList of their values.
  QVariant FieldValues(const QString& fieldNames) const;
  void SetFieldValues(const QString& fieldNames, const QVariant& values);
  // Fills FieldDefs from the data fields the dataset holds (their name, type, size, required
  // flag and, for BCD fields, precision), in field order; the list is emptied first.
  void InitFieldDefsFromFields();
  // True when the field objects were created from FieldDefs by the dataset.
  bool DefaultFields() const { return !FDefaultFieldList.empty(); }
  bool AutoCalcFields() const { return FAutoCalcFields; }
  void SetAutoCalcFields(bool value) { FAutoCalcFields = value; }

  // --- Filters -------------------------------------------------------------------------------
  QString Filter() const { return FFilterText; }
  virtual void SetFilter(const QString& text) { FFilterText = text; }
  bool Filtered() const { return FFiltered; }
  virtual void SetFiltered(bool value) { FFiltered = value; }
  const TFilterRecordEvent& OnFilterRecord() const { return FOnFilterRecord; }
  virtual void SetOnFilterRecord(TFilterRecordEvent handler) { FOnFilterRecord = std::move(handler); }

  // --- Records (descendants answer) ----------------------------------------------------------
  virtual int RecordCount() { return -1; }
  virtual int RecNo() { return -1; }
  virtual void SetRecNo(int) {}
  virtual int RecordSize() { return 0; }
  virtual bool IsSequenced() { return true; }
  // Copies the current record into buffer; false when there is none.
  virtual bool GetCurrentRecord(TRecordBuffer) { return false; }
  // The field's value form into value (null: only whether it has a value); false when none.
  virtual bool GetFieldData(TField* field, void* value) = 0;
  // Stores a value form for the field (null: no value).
  virtual void StoreFieldData(TField* field, const void* value) = 0;
  // A stream over a blob field's value; null when the dataset has none to give.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
  // Moves to the first record whose key fields equal the values (one value, or a QVariantList
  // with one per field); on failure the position is unchanged. The base scans the records.
  virtual bool Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options);
  // The value(s) of resultFields of the first record whose key fields equal the values, or a
  // null QVariant; the position is unchanged. The base scans the records.
  virtual QVariant Lookup(const QString& keyFields, const QVariant& keyValues, const QString& resultFields);
  virtual TUpdateStatus UpdateStatus() { return usUnmodified; }

  // --- Links and controls --------------------------------------------------------------------
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount > 0; }
  // True when dataSource leads back to this dataset through the chain of master sources.
  bool IsLinkedTo(TDataSource* dataSource) const;
  // The data source this dataset follows as a detail (none here).
  virtual TDataSource* DataSource() const { return nullptr; }
  int BlockReadSize() const { return FBlockReadSize; }
  void SetBlockReadSize(int value);
  int BufferCount() const { return FBufferCount; }
  int ActiveRecordIndex() const { return FActiveRecord; }
  int BufferedRecordCount() const { return FRecordCount; }
  // Handles an event and notifies the data sources (deferred while controls are disabled,
  // except deCheckBrowseMode). deFieldChange (info: the field) marks the record modified for
  // data fields, recalculates and runs the field's OnChange; dePropertyChange marks FieldDefs
  // not updated.
  virtual void DataEvent(TDataEvent event, intptr_t info = 0);

  // --- Events --------------------------------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  // --- Services for descendants ---------------------------------------------------------------
  // Sets the state, clears the modified flag and notifies data links (deUpdateState).
  void ChangeState(TDataSetState state);
  // Switches the state for one buffer operation without notifications; returns the previous
  // state for LeaveTempState.
  TDataSetState EnterTempState(TDataSetState state);
  void LeaveTempState(TDataSetState previous);
  void SetModified(bool value) { FModified = value; }
  // Runs the lookups and OnCalcFields for buffer in dsCalcFields (FCalcBuffer = buffer), after
  // ClearCalculatedArea. Does nothing when there are no calculated or lookup fields.
  void ComputeCalcFields(TRecordBuffer buffer);
  // Binds (true) or unbinds (false) the fields: FieldNo, Offset, FCalcFieldsSize and
  // FBlobFieldCount as field.h describes. A data field whose type does not fit its definition,
  // or whose Size differs from it for the types whose value form Size measures (strings,
  // bytes), is refused with EDatabaseError ("Type mismatch ..." / "Size mismatch ...").
  void BindFieldBuffers(bool binding);
  // FRecordCount 0, FActiveRecord 0, FCurrentRecord -1, FBOF and FEOF true.
  void ResetBufferList();
  // Creates field objects from FieldDefs when the dataset has none yet / frees those it created.
  void CreateDefaultFields();
  void DestroyDefaultFields();
  TRecordBuffer BufferAt(int index) const;
  TRecordBuffer ActiveBuffer() const;
  // Resizes the buffer list to value buffers (value 0 frees them all); records that no longer
  // fit are dropped and FCurrentRecord becomes -1 when its buffer goes.
  void SetBufListSize(int value);
  int BufListSize() const { return static_cast<int>(FBuffers.size()); }
  // Completes an open that a descendant deferred with dsOpening.
  void OpenCursorComplete();
  // Closes without the Before/After close events; for descendants' destructors.
  void CloseForDestruction();
  bool IsDestroying() const { return FDestroying || ComponentStateHas(csDestroying); }
  void CursorPosChanged() { FCurrentRecord = -1; }
  // Recomputes BufferCount from the linked data links (at least 1).
  void UpdateBufferCount();
  // Runs operation; an EDatabaseError goes to handler (when assigned), which may ask to retry
  // (daRetry), to fail silently (daAbort, raising EAbort) or to fail (daFail, the default).
  void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& handler);

  virtual void FireBeforeOpen();
  virtual void FireBeforeClose();
  virtual void FireAfterClose();
  virtual void FireBeforeInsert();
  virtual void FireBeforeEdit();
  virtual void FireAfterEdit();
  virtual void FireBeforePost();
  virtual void FireAfterPost();
  virtual void FireAfterCancel();
  virtual void FireBeforeDelete();
  virtual void FireAfterDelete();
  virtual void FireBeforeScroll();
  virtual void FireAfterScroll();

  // Definition-change notification from FieldDefs and IndexDefs (changes made by callers).
  virtual void DefChanged() {}
  // Fills index definitions that a TIndexDefs of this dataset asks for (none here).
  virtual void RefreshIndexDefs() {}
  // Whether field belongs to the active index order (none here).
  virtual bool IsIndexField(TField*) { return false; }
  // The fields linking this dataset as a detail to its master (none here).
  virtual void GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields);
  void Loaded() override;

  // --- Hooks, in the order of the virtual table descendants override ------------------------
  // Zeroes the calculated-field area of buffer.
  virtual void ClearCalculatedArea(TRecordBuffer buffer) = 0;
  virtual void FireAfterInsert();
  virtual void FireBeforeCancel();
  virtual void FireAfterOpen();
  virtual void FireOnNewRecord();
  // Searches from the start/end (restart) or the current record, forwards or backwards; the
  // base finds nothing.
  virtual bool SearchRecord(bool restart, bool forward);
  virtual TFieldClass FieldClassForType(TFieldType type) const;
  // Fills FieldDefs; the base asks DescribeFields when a cursor is open.
  virtual void RefreshFieldDefs();
  // Initialises a buffer for a new record: FillNewRecord, ClearCalculatedArea, flag Inserted.
  virtual void ResetRecordBuffer(TRecordBuffer buffer);
  virtual void CancelRecordEdit() {}
  virtual void BeginRecordEdit() {}
  virtual void BeginRecordInsert() {}
  // The base part checks that required data fields have values ("Field '%s' must have a
  // value").
  virtual void PostRecord();
  // The base refuses ("Cannot modify a read-only dataset").
  virtual void RemoveCurrentRecord();
  virtual void InternalAddRecord(TRecordBuffer buffer, bool append);
  virtual void RefetchCurrentRecord() {}
  virtual TRecordBuffer AllocateRecordBuffer() = 0;
  virtual void ReleaseRecordBuffer(TRecordBuffer& buffer) = 0;
  virtual void ReadBookmarkData(TRecordBuffer buffer, void* data) = 0;
  virtual void WriteBookmarkData(TRecordBuffer buffer, const void* data) = 0;
  virtual BookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) = 0;
  virtual void WriteBookmarkFlag(TRecordBuffer buffer, BookmarkFlag flag) = 0;
  virtual void MoveToFirst() = 0;
  virtual void MoveToLast() = 0;
  virtual void MoveToBookmark(const void* bookmark) = 0;
  virtual void MoveToRecordBuffer(TRecordBuffer buffer) = 0;
  virtual void FillNewRecord(TRecordBuffer buffer) = 0;
  virtual FetchResult FetchRecord(TRecordBuffer buffer, FetchMode mode, bool check) = 0;
  // The last step of the close; the base part does nothing.
  virtual void CloseEngineCursor() {}
  // An exception a hook raised inside a framework callback that must not propagate: passed to
  // the process-wide handler when one is installed, else dropped.
  virtual void HandleHookException(const std::exception& e);
  virtual void DescribeFields() {}
  virtual void OpenEngineCursor() = 0;
  virtual bool HasEngineCursor() const = 0;

  // --- Bookkeeping (names as descendants use them) -------------------------------------------
  std::vector<TRecordBuffer> FBuffers;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
  int FBufferCount = 0;
  TRecordBuffer FCalcBuffer = nullptr;
  int FBookmarkSize = 0;
  int FCalcFieldsSize = 0;
  int FBlobFieldCount = 0;
  bool FBOF = true;
  bool FEOF = true;
  bool FModified = false;
  bool FFound = false;
  bool FFiltered = false;
  QString FFilterText;
  TFilterRecordEvent FOnFilterRecord;
  TDataSetState FState = dsInactive;
  bool FInternalOpenComplete = false;

 private:
  friend class TDataSource;
  friend class TDataLink;
  friend class TFieldDefs;
  friend class TIndexDefs;
  template <class, class> friend class TDefinitionList;

  void doOpen();
  void doClose();
  void completeInternalOpen();
  void failOpen();
  void closeCursor();
  void setBufferCount(int value);
  void moveBuffer(int from, int to);
  void setCurrentRecord(int index);
  void activateBuffers();
  bool getNextRecord();
  bool getPriorRecord();
  int getNextRecords();
  int getPriorRecords();
  void beginInsertAppend();
  void endInsertAppend();
  void checkCanModify();
  void freeFieldBuffers();
  void addRecord(const QVariantList& values, bool append);
  bool hasCalculatedFields() const;
  bool scanCalculatedFields() const;
  void calculateLookup(TField* field);
  bool recordMatches(const std::vector<TField*>& fields, const QVariantList& values, TLocateOptions options) const;
  int desiredBufferCount() const;
  void addDataSource(TDataSource* source);
  void removeDataSource(TDataSource* source);

  TFields FFields{this};
  TFieldDefs FFieldDefs{this};
  std::vector<TField*> FDefaultFieldList;
  std::vector<TDataSource*> FDataSources;
  bool FAutoCalcFields = true;
  bool FFieldsBound = false;
  bool FHasCalculatedFields = false;
  bool FStreamedActive = false;
  bool FDestroying = false;
  int FDisableCount = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FEnableEvent = deDataSetChange;
  int FBlockReadSize = 0;
};
