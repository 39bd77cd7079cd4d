// Branding: the 26 process-wide texts that name the maker, the support contact, the application
// family and its modules. Built-in defaults hold from process start; LoadBranding overrides them
// from section "OEM" of "oeminfo.dat" beside the executable and loads "oem.ico" beside it as the
// application icon. Two texts are used elsewhere: OEMCOMPSHORT names folders and the server
// share, OEMROOTKEY names the registry key under "Software\" that holds the settings.
//
// Threading: loaded and finalised on the user-interface thread during start-up and exit; read
// from any thread in between.
#pragma once

#include <QString>

// The entries in table order; the first 24 carry their key in "oeminfo.dat", the last two have
// no key and keep their defaults.
enum class BrandingEntry : int {
  OEMCOMPANY,
  OEMCOMPSHORT,
  OEMSUPPORTCOMPANY,
  OEMSUPPORTADDRESS,
  OEMSUPPORTPHONE,
  OEMSUPPORTFAX,
  OEMSUPPORTEMAIL,
  OEMSUPPORTWEB,
  OEMSYSTEM,
  OEMOFFICE,
  OEMSAFETY,
  OEMCREW,
  OEMDOC,
  OEMMAINT,
  OEMCARGO,
  OEMAUDIT,
  OEMRISK,
  OEMINCIDENT,
  OEMROOTKEY,
  OEMPURCHASE,
  OEMTASK,
  OEMDRYDOCK,
  OEMDRILLPLAN,
  OEMIMPORT,
  Insurance,  // display name of the insurance module (no key)
  Sales,      // display name of the sales module (no key)
};

inline constexpr int kBrandingEntryCount = 26;
inline constexpr int kBrandingKeyCount = 24;

// The current text of an entry.
QString Branding(BrandingEntry entry);
// The current text of the entry with that key (a-z case ignored); empty for unknown keys.
QString Branding(const QString& key);
// The key of an entry in "oeminfo.dat"; empty for the two entries without a key.
QString BrandingKey(BrandingEntry entry);
// The built-in default of an entry.
QString BrandingDefault(BrandingEntry entry);

// Shortcuts for the two entries other modules read.
QString OEMCOMPSHORT();
QString OEMROOTKEY();

// Branding files beside the executable.
inline constexpr const char* kBrandingIconFile = "oem.ico";
inline constexpr const char* kBrandingInfoFile = "oeminfo.dat";
inline constexpr const char* kBrandingSection = "OEM";

// Loads the branding once per process (a second call does nothing until FinalizeBranding):
// resets the texts to their defaults, sets "oem.ico" as the application icon when the file
// exists (and a GUI application exists), then for each of the 24 keys in table order reads the
// key of section "OEM" of "oeminfo.dat" (values up to 2047 characters). A key that is absent
// keeps the entry; a key that is present replaces it even when its value is empty. Missing or
// unreadable files are skipped silently.
void LoadBranding();

// The icon file LoadBranding applied, empty when there was none.
QString BrandingIconFile();

// Clears all 26 texts and allows LoadBranding to run again.
void FinalizeBranding();
