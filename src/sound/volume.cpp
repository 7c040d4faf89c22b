// Master volume through the ALSA simple mixer of the card "default". Only
// SetSoundVolumeTKZ does real work: it opens, loads, sets and closes the mixer
// on every call and reports nothing. The other seven answer fixed values on
// this platform: the per-channel and mute setters do nothing, the getters
// answer 0.0 and false.
//
// The plugin writes no log, but alsa-lib reports its own errors (no sound
// card, no "default" device) on standard error through a process-wide
// handler. For the length of our mixer calls that handler is a silent one,
// and the program's own (alsa-lib's default, or whatever it set) is put back
// before we return. snd_lib_error and snd_lib_error_set_handler exist in every
// alsa-lib we load on; snd_lib_error_set_local, though of the same symbol
// version, does not.
#include "volume.h"

#include <alsa/asoundlib.h>
#include <math.h>
#include <string.h>

namespace {

// max x percent truncated toward zero; a product outside the 32-bit range,
// and NaN, become INT32_MIN, checked before converting so that the
// conversion itself is always defined.
long ScaledVolume(long max, double percent) {
    double value = (double)max * percent;
    if (!(value > -2147483649.0 && value < 2147483648.0)) return (long)INT32_MIN;
    return (long)value;
}

void Silent(const char*, int, const char*, int, const char*, ...) {}

void SetMaster(double percent) {
    snd_mixer_t* handle = nullptr;
    long min = 0, max = 0;
    if (snd_mixer_open(&handle, 0) != 0) return;
    snd_mixer_attach(handle, "default");
    snd_mixer_selem_register(handle, nullptr, nullptr);
    snd_mixer_load(handle);
    size_t idSize = snd_mixer_selem_id_sizeof();
    snd_mixer_selem_id_t* id = (snd_mixer_selem_id_t*)__builtin_alloca(idSize);
    memset(id, 0, idSize);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, "Master");
    snd_mixer_elem_t* element = snd_mixer_find_selem(handle, id);
    if (element != nullptr) {
        snd_mixer_selem_get_playback_volume_range(element, &min, &max);
        snd_mixer_selem_set_playback_volume_all(element, ScaledVolume(max, percent));
    }
    snd_mixer_close(handle);
}

}  // namespace

void SetSoundVolumeTKZ(double percent) {
    snd_lib_error_handler_t saved = snd_lib_error;
    snd_lib_error_set_handler(Silent);
    SetMaster(percent);
    snd_lib_error_set_handler(saved);
}

double GetSoundVolumeTKZ() { return 0.0; }
void SetSoundVolumeLeftTKZ(double) {}
double GetSoundVolumeLeftTKZ() { return 0.0; }
void SetSoundVolumeRightTKZ(double) {}
double GetSoundVolumeRightTKZ() { return 0.0; }
void SetSoundMuteTKZ(unsigned char) {}
unsigned char GetSoundMuteTKZ() { return 0; }
