// Binding the framework's parameters to the parameters of an engine SQL statement, as the query
// component and the connection component's Execute do before executing.
//
// Parameters are bound by position (the first is statement parameter 1). A null value is bound
// with AdsSetEmpty whatever its type; otherwise the data type chooses the engine setter: text
// in the ANSI code page, logicals, doubles, dates as Julian day numbers (the framework's day 0,
// 1899-12-30, is day 2415019), times as milliseconds of the day, timestamps as both in an
// 8-byte little-endian buffer, binary data, and UTF-16 text.
//
// Threading: used by the thread that uses the statement.
#pragma once

#include <cstdint>

#include "ads/ads_dataset_client.h"
#include "runtime/data/params.h"

// What the binding does with the structured types ftADT, ftArray, ftReference and ftDataSet:
// the query leaves them unbound, the connection refuses them.
enum class StructuredParamTypes { kLeftUnbound, kRefused };

// Binds one parameter to statement parameter number (1-based) of statement. Raises
// EADSDatabaseError (dataset, which may be null; 5121) "The field named: '<name>' has the
// DataType of ftUnknown, which is invalid." and "... has a DataType that is not supported." for
// ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor (and the structured types when refused);
// other types without a binding are left alone. Engine results are checked with dataset.
void BindStatementParam(AdsDataSetClient* dataset, uint32_t statement, uint16_t number, const TParam& param,
                        StructuredParamTypes structured = StructuredParamTypes::kLeftUnbound);
