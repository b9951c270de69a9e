// The two payloads the installer carries (bridge client, widget package), written into the
// current directory before the commands run and removed again afterwards.
#pragma once

#include "UnicodeString.h"

// Writes the RT_RCDATA resource `resourceName` of the program's own module to `fileName`,
// byte for byte, replacing any older file. Raises EResNotFound (nothing written) or
// EFCreateError / EWriteError.
void ExtractResourceToFile(UnicodeString fileName, UnicodeString resourceName);

// Deletes the file when it exists. A file that cannot be deleted (in use, read-only) stays;
// nothing is reported and nothing is raised.
void DeleteFileIfExists(UnicodeString fileName) noexcept;
