// Hostile recordings: any bytes are read without a crash, a hang or a read past them, a fault
// always says why, and what the reader takes makes a plan whose order holds every compared
// record once, each thread's in its own order, and whose records all compare and answer.
#include "replay/replay_answer.h"
#include "replay/replay_compare.h"
#include "replay/replay_plan.h"

#include <cstdlib>
#include <string>

using namespace trv::replay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (bool partial : {false, true}) {
        Recording rec;
        const ReadError e = ReadRecording(text, partial, rec);
        if ((e.fault == Fault::None) == !e.text.empty()) {
            std::abort();
        }
        if (e.fault != Fault::None) {
            continue;
        }
        Plan plan;
        std::string error;
        if (!BuildPlan(rec, plan, error)) {
            if (error.empty()) {
                std::abort();
            }
            continue;
        }
        std::vector<int> seen(rec.records.size(), 0);
        for (size_t i : plan.order) {
            ++seen.at(i);
        }
        for (size_t i = 0; i < rec.records.size(); ++i) {
            const Record& r = rec.records[i];
            if (seen[i] != (Compared(r) ? 1 : 0) || (plan.position[i] >= 0) != Compared(r)) {
                std::abort();
            }
            Comparable(r, nullptr);
            if (r.kind == "call") {
                const std::string answer = AnswerText(r.j);
                if (answer.rfind("result=", 0) != 0 || !AnswerDifference(answer, "").size()) {
                    std::abort();
                }
            }
        }
        for (const Thread& t : plan.threads) {
            for (size_t k = 1; k < t.compared.size(); ++k) {
                if (plan.position[t.compared[k]] <= plan.position[t.compared[k - 1]]) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
