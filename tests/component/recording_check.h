// A recording of the plug-in's code in this process held against what the simulated library and
// the log's viewer saw.
#pragma once

#include <string>
#include <vector>

namespace trvtest {

// "" when the ended recording `file` holds each journal line as a "call" record, in the same
// order, with the arguments the library saw, its result and the out-values it wrote back, and
// each line the viewer read as a "log" record, in order; else the first difference. `calls`:
// the call records' lines.
std::string CheckRecording(const std::wstring& file, const std::vector<std::string>& journal,
                           const std::vector<std::string>& viewer,
                           std::vector<std::string>* calls = nullptr);

} // namespace trvtest
