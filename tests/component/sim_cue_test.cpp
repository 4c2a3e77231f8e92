// The simulator's cue notation: malformed text is refused whole, with -1, and adds nothing.
#include "failure_table.h"

namespace {

TEST(SimCues, MalformedTextIsRefusedWhole) {
    sim_reset();
    const char* bad =
        " ; |is_Nothing = 1|is_AOI|is_AOI =|is_AOI = x|is_AOI = 99999999999|is_AOI#0 = 1|"
        "is_AOI#3-2 = 1|is_AOI#2-3+ = 1|is_AOI#x = 1|is_AOI@cam = 1|is_AOI@cam1@cam2 = 1|"
        "is_AOI#1@cam1 = 1|is_AOI:x = 1|is_AOI:6 sometimes|is_AOI out w=1|is_AOI:6 out|"
        "is_AOI:6 out q=1|is_AOI:6 out w=abc|is_AOI:6 out w|is_AOI:6 out =1|is_AOI:1 out x=1|"
        "is_IO:22 out limit=1e|is_CameraMemory:4 out bytes=0g|is_CameraMemory:4 out bytes=-1|"
        "is_CameraList out entry0=1,2,3|is_CameraList out entry4096=1,2,3,4,s,i|"
        "is_CaptureStatus:2 out c256=1|is_SensorInfo out color=256|is_AOI event|"
        "is_AOI event 3@cam|is_AOI = 1; is_Nothing = 2";
    for (const std::string& text : trvtest::SplitOn(bad, '|', false)) {
        EXPECT_EQ(sim_cue(text.c_str()), -1) << text;
    }
    EXPECT_EQ(sim_cue(""), -1);
    EXPECT_EQ(sim_cue(nullptr), -1);
    EXPECT_EQ(sim_cue_callback(
                  "is_AOI#", [](void*) {}, nullptr),
              -1);
    EXPECT_EQ(sim_cue_unfired(nullptr, 0), 0) << "nothing was added";
    EXPECT_EQ(sim_cue("is_AOI:6@cam1#2-4 out w=640 h=480 = 3 event 3@cam0; is_AOI#1+ = 0x7d"), 0);
    EXPECT_EQ(sim_cue_unfired(nullptr, 0), 2);
}

} // namespace
