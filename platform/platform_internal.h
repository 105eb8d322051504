// Platform layer, internal: settings of the platform layer that only its own files and the tests
// change.
#pragma once

// Non-zero (the default): a replacing file is made without a name where the system offers that.
// The tests set it to 0 to drive the named temporary file that other systems use.
extern int platformUnnamedFiles;
