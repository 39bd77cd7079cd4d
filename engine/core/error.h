// Engine error codes and the internal error type.
//
// Every C entry point returns 0 or one of these codes and records the code and a text as the
// calling thread's last error. Inside the engine a failure travels as an EngineError
// exception up to the entry point, which converts it; nothing throws across the C boundary.
// The codes that the data-access components react to keep the meaning they rely on; the
// full table with texts and when each is given is docs/engine-errors.md.
//
// Each engine area adds its codes in its own block below; a code is never reused.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace engine {

using ErrorCode = uint32_t;

namespace err {
// ---- codes the components rely on (meaning fixed) ----
constexpr ErrorCode kInsufficientBuffer = 5005;   // caller's buffer too small; needed length returned
constexpr ErrorCode kNoSuchIndexOrder = 5016;     // no index order (tag) of that name
constexpr ErrorCode kNotCustomIndex = 5017;       // the index is not a custom index
constexpr ErrorCode kInvalidRecordNumber = 5022;  // record number out of range / no such record
constexpr ErrorCode kNoConnectionForHandle = 5023;
constexpr ErrorCode kInvalidConnectionHandle = 5024;
constexpr ErrorCode kNoCollation = 5025;
constexpr ErrorCode kRecordLocked = 5035;          // lock refused: held by someone else
constexpr ErrorCode kNoFilter = 5037;              // no filter to clear or return
constexpr ErrorCode kNoScope = 5038;               // no scope set
constexpr ErrorCode kNoCurrentKey = 5041;          // relative key position unavailable
constexpr ErrorCode kPermissionDenied = 5054;      // rights do not allow the operation
constexpr ErrorCode kNoMoreTables = 5059;          // end of a table enumeration
constexpr ErrorCode kRecordNotLocked = 5062;
constexpr ErrorCode kStaticCursor = 5064;          // result of a static cursor cannot be updated
constexpr ErrorCode kIndexAlreadyOpen = 5065;
constexpr ErrorCode kNoCurrentRecord = 5068;       // at BOF/EOF, no record positioned
constexpr ErrorCode kNoUpdatePending = 5085;
constexpr ErrorCode kTableNotLocked = 5087;
constexpr ErrorCode kInvalidStatementHandle = 5106;
constexpr ErrorCode kNotRowChangingStatement = 5117;
constexpr ErrorCode kComponentRefusal = 5121;      // used by the components for their own refusals
constexpr ErrorCode kNotInDictionary = 5132;       // name not found in the data dictionary
constexpr ErrorCode kNoMoreObjects = 5137;         // end of a dictionary object enumeration
constexpr ErrorCode kPropertyNotSet = 5138;        // property has no value
constexpr ErrorCode kColumnNotFound = 5147;        // SQL: unknown column "NAME"
constexpr ErrorCode kColumnAmbiguous = 5148;       // SQL: ambiguous column "NAME"
constexpr ErrorCode kColumnTypeMismatch = 5149;    // SQL: column "NAME" has the wrong type for the value
constexpr ErrorCode kRecordChanged = 5186;         // record changed by another user
constexpr ErrorCode kFilterIsSet = 5211;
constexpr ErrorCode kSqlError = 7200;              // SQL error; text has "NATIVEERROR = n;"
constexpr ErrorCode kStatementMustBeRecreated = 7209;

// ---- interface, handles, connections, dictionaries ----
// Codes of our own are in 5900..5999; 5999 marks an entry point whose feature is not built.
constexpr ErrorCode kInvalidHandle = 5901;          // zero, stale, unknown or wrong-kind handle
constexpr ErrorCode kNullArgument = 5902;           // a required pointer argument is null
constexpr ErrorCode kInvalidArgument = 5903;        // an option or value the entry point does not accept
constexpr ErrorCode kServerNotAvailable = 5904;     // only the remote or internet server was requested
constexpr ErrorCode kConnectStringInvalid = 5905;   // unknown or malformed connect-string item
constexpr ErrorCode kDataSourceNotFound = 5906;     // the dictionary or folder to connect to is missing
constexpr ErrorCode kLoginRefused = 5907;           // unknown user, wrong or missing password
constexpr ErrorCode kNotADictionary = 5908;         // the file is not a data dictionary
constexpr ErrorCode kAlreadyExists = 5909;          // the file or dictionary object already exists
constexpr ErrorCode kNotDictionaryConnection = 5910;  // a dictionary call on a free-table connection
constexpr ErrorCode kInvalidDateFormat = 5911;      // a date format the engine cannot use
constexpr ErrorCode kUnknownProperty = 5912;        // a property id this object does not have
constexpr ErrorCode kDictionaryFailure = 5913;      // the dictionary database could not be read or written
constexpr ErrorCode kPathInvalid = 5914;            // a path that cannot be mapped to a host file
constexpr ErrorCode kFileFailure = 5915;            // a host file operation failed
constexpr ErrorCode kNotAdministrator = 5916;       // the operation needs the administrator (adssys)
constexpr ErrorCode kDiskFull = 5917;               // the host has no space left (disk or quota), whatever the file
constexpr ErrorCode kAccessDenied = 5918;           // the host refused access to a file (permissions, read-only disk)
constexpr ErrorCode kNotInTransaction = 5930;       // commit, rollback or savepoint without a transaction
constexpr ErrorCode kNoSuchSavepoint = 5931;        // rollback to a savepoint the transaction does not have
constexpr ErrorCode kTransactionFailed = 5932;      // a rollback could not undo every change
constexpr ErrorCode kInTransaction = 5933;          // the operation cannot be undone, so a transaction refuses it
constexpr ErrorCode kInternalError = 5997;          // an unexpected failure inside the engine
constexpr ErrorCode kOutOfMemory = 5998;            // memory could not be allocated
constexpr ErrorCode kNotYetBuilt = 5999;            // the entry point's feature is not built yet

// ---- tables, records, blobs, locks ----
constexpr ErrorCode kTableNotFound = 5401;          // no table file at that path
constexpr ErrorCode kTableInUse = 5402;             // open refused: the table is open exclusively, or
                                                    // an exclusive open while others have it open
constexpr ErrorCode kNotATableFile = 5403;          // the file is not a native table (wrong magic)
constexpr ErrorCode kTableVersion = 5404;           // table or memo file of an unknown format version
constexpr ErrorCode kTableHeaderDamaged = 5405;     // header checksum or descriptors inconsistent
constexpr ErrorCode kTableTruncated = 5406;         // record lies past the end of the table file
constexpr ErrorCode kMemoDamaged = 5407;            // memo file missing, damaged, or a reference past it
constexpr ErrorCode kInvalidFieldDefinition = 5408; // malformed field-definition string; names the field
constexpr ErrorCode kFieldNotFound = 5409;          // no field of that name or number
constexpr ErrorCode kFieldTypeMismatch = 5410;      // the operation does not fit the field's type
constexpr ErrorCode kValueDoesNotFit = 5411;        // value too long or out of range for the field
constexpr ErrorCode kTableReadOnly = 5412;          // change through a table opened read-only
constexpr ErrorCode kExclusiveRequired = 5413;      // pack, zap, restructure need an exclusive open
constexpr ErrorCode kTableIoError = 5414;           // the operating system refused a read or write
constexpr ErrorCode kInvalidDateText = 5415;        // date text that does not match the date format
constexpr ErrorCode kInvalidTableArgument = 5416;   // bad option, length or pointer for a table call
constexpr ErrorCode kTableExists = 5417;            // restructure or create target in use

// ---- expressions ----
constexpr ErrorCode kExprSyntax = 5301;           // malformed expression text
constexpr ErrorCode kExprUnknownFunction = 5302;  // no function of that name
constexpr ErrorCode kExprUnknownField = 5303;     // no field of that name (or alias) in the table
constexpr ErrorCode kExprTypeMismatch = 5304;     // operand or argument of the wrong type
constexpr ErrorCode kExprArgumentCount = 5305;    // too few or too many arguments
constexpr ErrorCode kExprNotConstant = 5306;      // a length argument that must be a constant
constexpr ErrorCode kExprResultType = 5307;       // expression does not give the type the call needs
constexpr ErrorCode kExprTooComplex = 5308;       // nesting or result length beyond the limits

// ---- indexes ----
constexpr ErrorCode kUnknownCollation = 7040;        // collation name not known to the engine
constexpr ErrorCode kIndexFileCorrupt = 7041;        // index file damaged (checksum, structure, size)
constexpr ErrorCode kIndexVersionUnsupported = 7042; // index file written by another format version
constexpr ErrorCode kIndexCollationMismatch = 7043;  // tag built with another collation
constexpr ErrorCode kIndexNeedsRebuild = 7044;       // an update of the index file was interrupted
constexpr ErrorCode kDuplicateKey = 7045;            // candidate tag already holds the key
constexpr ErrorCode kIndexKeyTooLong = 7046;         // key does not fit the index page size
constexpr ErrorCode kInvalidIndexPageSize = 7047;    // page size not a power of two in 512..8192
constexpr ErrorCode kIndexIoError = 7048;            // reading or writing an index or work file failed
constexpr ErrorCode kRebuildCancelled = 7049;        // the progress callback asked to stop
constexpr ErrorCode kInvalidTagDefinition = 7050;    // tag name, expression or layout not acceptable

// ---- SQL ----

// ---- filters, encryption, copies ----
constexpr ErrorCode kNoLocate = 5501;              // AdsContinue without an earlier AdsLocate
constexpr ErrorCode kNotAvailableOnHost = 5502;    // the feature needs a desktop service this host lacks
constexpr ErrorCode kEncryptionNotEnabled = 5503;  // encrypted record or table, and this handle has no key
constexpr ErrorCode kWrongTablePassword = 5504;    // the password is not the encrypted table's password
constexpr ErrorCode kEncryptedDataDamaged = 5505;  // an encrypted record or blob fails its authentication
constexpr ErrorCode kEncryptedTableUnsupported = 5506;  // the operation is not available on an encrypted table
}  // namespace err

// An engine failure on its way to the C boundary.
class EngineError : public std::runtime_error {
 public:
  EngineError(ErrorCode code, const std::string& text) : std::runtime_error(text), code_(code) {}
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
};

[[noreturn]] inline void Fail(ErrorCode code, const std::string& text) { throw EngineError(code, text); }

}  // namespace engine
