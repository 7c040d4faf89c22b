// Master volume and mute. Not built yet: the setters do nothing; the getters
// answer 0.0 and false, as they always will on this platform.
#include "volume.h"

void SetSoundVolumeTKZ(double) {}
double GetSoundVolumeTKZ() { return 0.0; }
void SetSoundVolumeLeftTKZ(double) {}
double GetSoundVolumeLeftTKZ() { return 0.0; }
void SetSoundVolumeRightTKZ(double) {}
double GetSoundVolumeRightTKZ() { return 0.0; }
void SetSoundMuteTKZ(unsigned char) {}
unsigned char GetSoundMuteTKZ() { return 0; }
