// Shared pieces of the fuzz targets: a scratch folder for the files a scene
// writes, and one whole run of a scene text from program-start state.
#pragma once

#include <string>

namespace kxfuzz {

// Once per process: makes a fresh scratch folder, and hides the window
// system so that screen displays fail at once.
void Initialize();

// Runs text as a scene file through the parser and whichever engine it
// selects, from program-start state and in the scratch folder, as the
// program would; what the echo engine writes goes to echoOut (discarded when
// null). Every file the run wrote is removed afterwards. Returns the run's
// status.
int RunScene(const std::string& text, std::string* echoOut = nullptr);

}  // namespace kxfuzz
