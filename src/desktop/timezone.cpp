// "TimeZoneTKZ": six read-only properties over 32 bytes of instance data.
// The class reports what the host put into the instance data and asks the
// system nothing: no constructor, no setter, no system call.
#include "desktop.h"

#include "../hostapi/registration.h"

#include <string.h>

struct TimeZoneData {
    int32_t gmtDeltaTotalSeconds;
    int32_t gmtDeltaSeconds;
    int32_t gmtDeltaMinutes;
    int32_t gmtDeltaHours;
    double latitude;
    double longitude;
};
static_assert(sizeof(TimeZoneData) == 32, "");
static_assert(offsetof(TimeZoneData, gmtDeltaSeconds) == 4 && offsetof(TimeZoneData, gmtDeltaMinutes) == 8 &&
                  offsetof(TimeZoneData, gmtDeltaHours) == 12,
              "");
static_assert(offsetof(TimeZoneData, latitude) == 16, "");
static_assert(offsetof(TimeZoneData, longitude) == 24, "");

namespace {
double DoubleAt(REALobjectStruct* self, size_t offset) {
    double v;
    memcpy(&v, (const char*)InstanceData<TimeZoneData>(timezoneClass, self) + offset, sizeof v);
    return v;
}
}  // namespace

double ReturnLatitude(REALobjectStruct* self, long) { return DoubleAt(self, offsetof(TimeZoneData, latitude)); }
double ReturnLongitude(REALobjectStruct* self, long) { return DoubleAt(self, offsetof(TimeZoneData, longitude)); }

static TKZ_CONSTINIT REALpropertyDefinition TimeZoneProperties[] = {
    TKZ_PROPERTY("GmtDeltaTotalseconds", "Integer", TKZ_DIRECT, nullptr, offsetof(TimeZoneData, gmtDeltaTotalSeconds)),
    TKZ_PROPERTY("GmtDeltaSeconds", "Integer", TKZ_DIRECT, nullptr, offsetof(TimeZoneData, gmtDeltaSeconds)),
    TKZ_PROPERTY("GmtDeltaMinutes", "Integer", TKZ_DIRECT, nullptr, offsetof(TimeZoneData, gmtDeltaMinutes)),
    TKZ_PROPERTY("GmtDeltaHours", "Integer", TKZ_DIRECT, nullptr, offsetof(TimeZoneData, gmtDeltaHours)),
    TKZ_PROPERTY("Latitude", "Double", ReturnLatitude, nullptr, 0),
    TKZ_PROPERTY("Longitude", "Double", ReturnLongitude, nullptr, 0),
};
static_assert(CountOf(TimeZoneProperties) == 6, "TimeZoneTKZ has six properties");

constinit REALclassDefinition timezoneClass =
    TKZ_CLASS("TimeZoneTKZ", sizeof(TimeZoneData), nullptr, nullptr, TimeZoneProperties, CountOf(TimeZoneProperties),
              nullptr, 0, nullptr, 0);
