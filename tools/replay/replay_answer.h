// A recorded camera-library call as the answer a simulated library gives in its place: the
// result and out-values in the notation of the simulator's out-value writers (its journal's
// "key=value", sim_control.h). Pure code.
#pragma once

#include "replay/recording_reader.h"

#include <string>

namespace trv::replay {

// "result=R key=value ...": what the call `call` (a "call" record) wrote back. Values that the
// writers cannot carry (texts with spaces, commas or '=') are written as '?' in their place.
std::string AnswerText(const Json& call);

// The "key=value" words of a text, in order, each once (a later value replaces an earlier one).
std::vector<std::pair<std::string, std::string>> AnswerWords(const std::string& text);

// An answer as the journal prints it: numbers with 12 significant digits.
std::string AnswerShown(const std::string& text);

// Two answers' differences, "key: a / b" joined by "; ", with numbers compared as the journal
// prints them (12 significant digits); empty when they agree.
std::string AnswerDifference(const std::string& recorded, const std::string& simulated);

} // namespace trv::replay
