// The installation environment every tool of an installation shares: its settings and folders,
// resolved once per process, and the small utility library they are resolved with (temporary and
// special folders, INI and registry readers, environment variables, delimited fields, folder
// creation, tree removal, a persistent file delete and a throttled message pump).
//
// Settings. InitializeSettings (run by the start-up sequence, environment/startup.h, after the
// branding) resolves them from the registry (user hive, then machine hive, under "Software\" +
// OEMROOTKEY), the settings file "pellmar.cfg" beside the executable (section "Config") and
// built-in defaults, publishes the client and data folders as the per-user environment
// variables "PellmarClient" and "PellmarData", and creates the private work folder
// "_Pellmar<n>" in the user's temporary folder; FinalizeSettings removes it. The settings are
// read-only between the two.
//
// Failures: the utilities report in three ways: a modal error box after which they return
// normally, an exception from the runtime (registry type and write errors, path errors, refused
// deletions), or a silent result (missing registry or INI values, folder creation or removal
// the platform refuses).
//
// Threading: user-interface thread only. The default delimiter with its one saved value and the
// last pump time are unguarded process-wide values, and PumpMessages and KillFile dispatch
// window messages.
#pragma once

#include <QChar>
#include <QString>

#include "environment/mini.dialogs.h"

// --- Settings -----------------------------------------------------------------------------

// Folders end with a backslash. Valid after InitializeSettings.
QString ClientFolder();
QString DataFolder();
// Host name of the database server without port; "localhost" when nothing is configured.
QString DBServer();
// 3306 unless the configured server text carries a port.
int DBPort();
QString WorkFolder();
QString DocumentsFolder();
// True only when "pellmar.cfg" says "StandAlone=1" exactly.
bool StandAlone();

// Names the settings module uses.
inline constexpr const char* kSettingsFile = "pellmar.cfg";
inline constexpr const char* kSettingsSection = "Config";
inline constexpr const char* kClientVariable = "PellmarClient";
inline constexpr const char* kDataVariable = "PellmarData";
inline constexpr const char* kWorkFolderPrefix = "_Pellmar";
inline constexpr int kDefaultDBPort = 3306;

// The initialisation: records the pump time, sets the default field delimiter to ",", sets the
// short time format "hh:mm:ss" and the time separator ":", and runs ResolveSettings. Raises
// ERegistryException for a registry value of a non-text type or an environment variable that
// cannot be written, EPathError when the work folder's path is unusable.
void InitializeSettings();

// The resolution of every setting (see the header comment); runs PublishFolders unless
// StandAlone, and creates the work folder.
void ResolveSettings();

// Writes "PellmarClient" and "PellmarData" to the user's environment when they differ (exact
// comparison) from ClientFolder and DataFolder without their trailing backslash, and then, only
// when something was written, broadcasts the setting change "Environment".
void PublishFolders();

// Removes the work folder with everything in it when it exists, then clears the settings. Safe
// after an initialisation that failed half-way.
void FinalizeSettings();

// --- Utilities ----------------------------------------------------------------------------

// The user's temporary folder, with a trailing backslash.
QString GetTempDir();

// The path of a shell special folder (5: the user's documents) without trailing backslash, or
// the empty text when it cannot be resolved.
QString GetSpecialFolder(int folder);

// The value of key in section of file read into a buffer of 400 characters (at most 399); the
// default when the value is empty or missing.
QString ReadIniString(const QString& section, const QString& key, const QString& file, const QString& def);

// Field index (1-based) of text split at delimiter with the strict delimited-text rules (only
// the delimiter separates; a field starting with a double quote runs to the matching quote, two
// quotes inside standing for one; a trailing delimiter gives an empty last field; the empty
// text has no field). A blank delimiter stands for the default field delimiter. The empty text
// when there are fewer fields than index, or when index is below 1.
QString GetField(int index, const QString& text, QChar delimiter);

// Saves the default field delimiter (one saved value only: a second push overwrites it) and
// makes c the default; PopDelimiter restores the saved value.
void PushDelimiter(QChar c);
void PopDelimiter();
QChar DefaultDelimiter();
void SetDefaultDelimiter(QChar c);

// Creates folder with its missing parents unless it exists. Raises EPathError for paths that
// are too long (over 248 characters), of unsupported form, blank or with invalid characters,
// or on a drive that does not exist; a creation the platform refuses raises nothing. Returns
// true when the folder still does not exist afterwards, false when it exists.
bool EnsureDirectory(const QString& folder);

// True when a folder (not a file) of that name exists; links are followed.
bool DirExists(const QString& folder);

// The path with a backslash appended unless it ends with one; "" gives "\".
QString AddBackslash(const QString& path);

// The letters a-z replaced by A-Z; all other characters unchanged.
QString UpperCaseText(const QString& text);

// A text value of the user (resp. machine) hive: key "Software\" + OEMROOTKEY + "\" + keyPath
// opened read-only, else keyPath opened relative to that key when it exists or to the hive's
// root; def when both give nothing. Raises ERegistryException "Invalid data type for '<name>'"
// for a value of another type than text or expandable text (returned unexpanded), and for a
// hive file that cannot be parsed.
QString ReadUserSetting(const QString& keyPath, const QString& name, const QString& def);
QString ReadMachineSetting(const QString& keyPath, const QString& name, const QString& def);

// The stored environment variable (user scope when perUser, else machine scope) with its
// %NAME% references expanded; empty when missing. An expansion longer than the platform's 254
// characters is returned whole.
QString ReadEnvironmentVariable(const QString& name, bool perUser);

// Stores value as a plain text variable of the scope. Raises ERegistryException "Failed to set
// data for '<name>'" when it cannot be written. Sends no change notification.
void WriteEnvironmentVariable(const QString& name, const QString& value, bool perUser);

// Deletes everything inside folder and, unless keepTop, folder itself. A path shorter than 5
// characters is refused with an error box and nothing is deleted. Files are made writable and
// deleted with KillFile; folders are emptied and removed. A link to a folder is removed as a link:
// what it points to is never touched. Removal failures of folders are silent.
void RemoveDirectoryTree(const QString& folder, bool keepTop);

// Deletes file, retrying for up to 4 seconds (pumping messages) when the platform refuses
// silently; then shows "Couldn't delete file "<file>"!". A missing file returns at once; a
// read-only file loses its read-only attribute first. Path errors (EPathError) and refusals
// with error 2, 5 or 32 (EInOutError) leave at once.
void KillFile(const QString& file);

// Processes pending window messages when more than ms milliseconds have passed since the last
// time any caller did; otherwise does nothing.
void PumpMessages(int ms);
