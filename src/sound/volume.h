// Master volume and mute methods registered in the global method table.
#pragma once

void SetSoundVolumeTKZ(double percent);
double GetSoundVolumeTKZ();
void SetSoundVolumeLeftTKZ(double percent);
double GetSoundVolumeLeftTKZ();
void SetSoundVolumeRightTKZ(double percent);
double GetSoundVolumeRightTKZ();
void SetSoundMuteTKZ(unsigned char mute);
unsigned char GetSoundMuteTKZ();
