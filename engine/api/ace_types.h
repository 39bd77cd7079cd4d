/* Types and constants of the engine's C interface (libace32). Included by <ace/ace.h>.
 *
 * Plain C; every type has a fixed width. See the note at the top of entry_points.def for the
 * conventions (return codes, handles, text buffers with in/out lengths, field arguments).
 */
#ifndef ACE_ACE_TYPES_H
#define ACE_ACE_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
typedef char16_t WCHAR;
#else
#include <uchar.h>
typedef char16_t WCHAR;
#endif

typedef uint8_t UNSIGNED8;
typedef int8_t SIGNED8;
typedef uint16_t UNSIGNED16;
typedef int16_t SIGNED16;
typedef uint32_t UNSIGNED32;
typedef int32_t SIGNED32;
typedef uint64_t UNSIGNED64;
typedef int64_t SIGNED64;
typedef double DOUBLE;
typedef UNSIGNED32 ADSHANDLE;

/* Callbacks. A non-zero result asks the engine to abort the running operation. */
typedef UNSIGNED32 (*ADS_PROGRESS_CALLBACK)(UNSIGNED16 usPercentDone);
typedef UNSIGNED32 (*ADS_CALLBACK_FUNCTION)(UNSIGNED16 usPercentDone, UNSIGNED32 ulCallbackID);
typedef UNSIGNED32 (*ADS_CALLBACK_FUNCTION101)(UNSIGNED16 usPercentDone, SIGNED64 qCallbackID);
typedef UNSIGNED32 (*ADS_SQL_ABORT_FUNC)(void);

/* A field given by its 1-based number instead of its name. */
#define ADSFIELD(n) ((UNSIGNED8*)(uintptr_t)(n))

#define AE_SUCCESS 0u
#define AE_INSUFFICIENT_BUFFER 5005u
#define AE_NO_MORE_TABLES 5059u
#define AE_NOT_IN_DICTIONARY 5132u
#define AE_NO_MORE_OBJECTS 5137u
#define AE_PROPERTY_NOT_SET 5138u
#define AE_NOT_YET_BUILT 5999u
#define AE_NO_SUCH_INDEX_ORDER 5016u
#define AE_NO_SCOPE 5038u
#define AE_INDEX_ALREADY_OPEN 5065u
#define AE_DUPLICATE_KEY 7045u

/* Index tag options (AdsCreateIndex90, AdsGetIndexFlags). */
#define ADS_UNIQUE 1u
#define ADS_COMPOUND 2u
#define ADS_CUSTOM 4u
#define ADS_DESCENDING 8u
#define ADS_CANDIDATE 2048u

/* Key data types of seeks and scopes, seek types, scope bounds and counting options. */
#define ADS_RAWKEY 1u
#define ADS_STRINGKEY 2u
#define ADS_DOUBLEKEY 4u
#define ADS_WSTRINGKEY 8u
#define ADS_SOFTSEEK 1u
#define ADS_HARDSEEK 2u
#define ADS_TOP 1u
#define ADS_BOTTOM 2u
#define ADS_RESPECTFILTERS 1u
#define ADS_IGNOREFILTERS 2u
#define ADS_RESPECTSCOPES 3u

/* Server types (AdsConnect60 and the connect string's ServerType). */
#define ADS_LOCAL_SERVER 1u
#define ADS_REMOTE_SERVER 2u
#define ADS_AIS_SERVER 4u

/* Handle types reported by AdsGetHandleType. */
#define ADS_CONNECTION 1u
#define ADS_TABLE 2u
#define ADS_INDEX_ORDER 3u
#define ADS_STATEMENT 4u
#define ADS_CURSOR 5u
#define ADS_DATABASE_CONNECTION 6u

/* Field types (AdsGetFieldType); the same codes name the types of expressions and keys
 * (AdsGetKeyType, AdsIsExprValid's result kinds). 0, 19, 25 and 29 to 50 are no field type a
 * table stores; 51 and 52 are further binary blob kinds. */
#define ADS_TYPE_UNKNOWN 0u
#define ADS_LOGICAL 1u
#define ADS_NUMERIC 2u
#define ADS_DATE 3u
#define ADS_STRING 4u
#define ADS_MEMO 5u
#define ADS_BINARY 6u
#define ADS_IMAGE 7u
#define ADS_VARCHAR 8u
#define ADS_COMPACTDATE 9u
#define ADS_DOUBLE 10u
#define ADS_INTEGER 11u
#define ADS_SHORTINT 12u
#define ADS_TIME 13u
#define ADS_TIMESTAMP 14u
#define ADS_AUTOINC 15u
#define ADS_RAW 16u
#define ADS_CURDOUBLE 17u
#define ADS_MONEY 18u
#define ADS_LONGLONG 19u
#define ADS_CISTRING 20u
#define ADS_ROWVERSION 21u
#define ADS_MODTIME 22u
#define ADS_VARCHAR_FOX 23u
#define ADS_VARBINARY_FOX 24u
#define ADS_SYSTEM_FIELD 25u
#define ADS_NCHAR 26u
#define ADS_NVARCHAR 27u
#define ADS_NMEMO 28u
#define ADS_BINARY_KIND_51 51u
#define ADS_BINARY_KIND_52 52u

/* Memo data types (AdsGetMemoDataType) use ADS_MEMO, ADS_BINARY and ADS_IMAGE. */

/* Table types. */
#define ADS_TYPE_FROM_DICTIONARY 0u
#define ADS_NTX 1u
#define ADS_CDX 2u
#define ADS_ADT 3u
#define ADS_VFP 4u

/* Table open options. */
#define ADS_EXCLUSIVE 1u
#define ADS_READONLY 2u

/* Dictionary object types (AdsDDFindFirstObject, AdsDDRenameObject, permissions). */
#define ADS_DD_TABLE_OBJECT 1u
#define ADS_DD_VIEW_OBJECT 2u
#define ADS_DD_COLUMN_OBJECT 4u
#define ADS_DD_USER_OBJECT 5u
#define ADS_DD_USER_GROUP_OBJECT 6u
#define ADS_DD_PROCEDURE_OBJECT 10u
#define ADS_DD_LINK_OBJECT 12u

/* Database properties (AdsDDGetDatabaseProperty, AdsDDSetDatabaseProperty). */
#define ADS_DD_COMMENT 1u
#define ADS_DD_VERSION 2u
#define ADS_DD_VERSION_MAJOR 111u
#define ADS_DD_VERSION_MINOR 112u

/* Table properties (AdsDDGetTableProperty, AdsDDSetTableProperty). */
#define ADS_DD_TABLE_PATH 202u
#define ADS_DD_TABLE_TYPE 204u
#define ADS_DD_TABLE_PRIMARY_KEY 205u
#define ADS_DD_TABLE_DEFAULT_INDEX 213u
#define ADS_DD_TABLE_CHAR_TYPE 220u

/* User properties (AdsDDGetUserProperty, AdsDDSetUserProperty). */
#define ADS_DD_USER_PASSWORD 1101u
#define ADS_DD_USER_GROUP_MEMBERSHIP 1102u

/* Connection properties (AdsGetConnectionProperty). */
#define ADS_CONNECTIONPROP_USERNAME 0u
#define ADS_CONNECTIONPROP_PASSWORD 1u
#define ADS_CONNECTIONPROP_PROTOCOL 2u
#define ADS_CONNECTIONPROP_ENCRYPTION_TYPE 3u
#define ADS_CONNECTIONPROP_FIPS_MODE 4u
#define ADS_CONNECTIONPROP_CERTIFICATE_FILE 5u
#define ADS_CONNECTIONPROP_CIPHER_SUITE_LIST 6u
#define ADS_CONNECTIONPROP_COMMON_NAME 7u

/* Text encoding option of the filter entry points. */
#define ADS_ENCODE_UTF16 8192u

#endif /* ACE_ACE_TYPES_H */
