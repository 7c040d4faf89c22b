// The master volume through alsa-lib, over the ALSA control test double
// (tests/alsa_ctl_plugin.c), called through the registered table.
#include "support.h"

#include <dlfcn.h>

#include <cmath>
#include <fstream>

using host::Value;

namespace {

// An ALSA configuration whose "default" control device is the test double,
// for this process only; returns the file where its writes are logged.
std::string UseTestMixer(const std::string& element, long max = 31, long initial = 7, long min = 0) {
    char tmpl[] = "/tmp/tkz-alsa-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/asound.conf") << "ctl_type.tkztest { lib \"" TKZ_BUILD_DIR
                                           "/tests/libasound_module_ctl_tkztest.so\" }\n"
                                        << "ctl.default { type tkztest min " << min << " max " << max << " initial "
                                        << initial << " log \"" << dir << "/writes\" name \"" << element << "\" }\n";
    setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1);
    return dir + "/writes";
}

// The last write logged ("left right"), or "" if none.
std::string SetAndLastWrite(tkz::Session& s, const std::string& log, double percent) {
    s.Call("SetSoundVolumeTKZ", {Value::D(percent)});
    std::ifstream f(log);
    std::string last;
    for (std::string l; std::getline(f, l);) last = l;
    return last;
}

// An ALSA error handler of a program's own: it writes.
void WritingHandler(const char*, int, const char*, int, const char*, ...) {
    ssize_t ignored = write(2, "!", 1);
    (void)ignored;
}

}  // namespace

// The value sent is max x percent truncated toward zero, unclamped. What
// alsa-lib does on its way: it writes the channels one at a time (so one call
// may log two writes; the last holds both), skips a value the control already
// holds, and silently drops values outside the control's range (3100, -15),
// which therefore never reach the control.
PLUGIN_TEST(Volume, SetsMasterThroughAlsa) {
    std::string log = UseTestMixer("Master Playback Volume");
    for (auto [percent, want] :
         {std::pair<double, const char*>{1.0, "31 31"}, {0.5, "15 15"}, {0, "0 0"}, {1.0, "31 31"}})
        EXPECT_EQ(SetAndLastWrite(s, log, percent), want) << percent;
    for (double percent : {100.0, -0.5, (double)NAN, 1e300})
        EXPECT_EQ(SetAndLastWrite(s, log, percent), "31 31") << percent;
}

// The largest control range: a product that fits 32 bits once truncated is
// sent as it is.
PLUGIN_TEST(Volume, FullRangeProductIsSentAsIs) {
    std::string log = UseTestMixer("Master Playback Volume", 2147483647, 0);
    EXPECT_EQ(SetAndLastWrite(s, log, 1.0), "2147483647 2147483647");
    SetAndLastWrite(s, log, 0.5);
    EXPECT_EQ(SetAndLastWrite(s, log, 2147483647.9 / 2147483647.0), "2147483647 2147483647");
    // A product exactly one beyond either end of the range is never converted
    // (the sanitized build would report the conversion); alsa-lib drops the
    // value it becomes.
    for (double product : {-2147483649.0, 2147483648.0})
        EXPECT_EQ(SetAndLastWrite(s, UseTestMixer("Master Playback Volume", 1, 0), product), "") << product;
}

// A range that does not start at 0: the factor scales the maximum alone,
// and the minimum plays no part.
PLUGIN_TEST(Volume, MinimumOfTheRangePlaysNoPart) {
    std::string log = UseTestMixer("Master Playback Volume", 40, 7, -20);
    for (auto [percent, want] :
         {std::pair<double, const char*>{0.5, "20 20"}, {0, "0 0"}, {-0.25, "-10 -10"}, {1, "40 40"}})
        EXPECT_EQ(SetAndLastWrite(s, log, percent), want) << percent;
}

// Without a configuration that names a control device and without a sound
// card, attaching fails and the mixer has no elements: the call returns
// quietly. alsa-lib would say so on standard error; during the plugin's mixer
// calls its reports go nowhere, and the program's own handler is back
// afterwards. The getters never write either.
PLUGIN_TEST(Volume, QuietWithoutMasterElementOrSoundCard) {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(alsa, nullptr) << "the plugin links alsa-lib";
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto* current = (Handler*)dlsym(alsa, "snd_lib_error");
    auto setHandler = (int (*)(Handler))dlsym(alsa, "snd_lib_error_set_handler");
    // alsa-lib's own handler, and a program's that writes too.
    Handler programs[] = {*current, WritingHandler};
    FILE* err = tmpfile();
    dup2(fileno(err), 2);
    for (Handler program : programs)
        for (const char* mixer : {"stand-in card", "card lacking Master", "no sound card"}) {
            setHandler(program);
            std::string log = UseTestMixer(mixer[0] == 's' ? "Master Playback Volume" : "PCM Playback Volume");
            if (mixer[0] == 'n') setenv("ALSA_CONFIG_PATH", "/dev/null", 1);
            for (double percent : {0.5, (double)NAN, 1.0}) s.Call("SetSoundVolumeTKZ", {Value::D(percent)});
            for (const char* getter : {"GetSoundVolumeTKZ", "GetSoundVolumeLeftTKZ", "GetSoundVolumeRightTKZ"})
                EXPECT_EQ(s.Call(getter, {}).d, 0.0) << getter;
            EXPECT_EQ(s.Call("GetSoundMuteTKZ", {}).b, false);
            EXPECT_EQ(ftell(err), 0) << mixer;
            EXPECT_EQ(*current, program) << mixer << ": the program's handler is put back";
            EXPECT_EQ(std::ifstream(log).peek() != EOF, mixer[0] == 's') << mixer << ": the volume reached the card";
        }
}
