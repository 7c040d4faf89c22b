// A test double for a sound card, built with alsa-lib's own external control
// plugin interface: one stereo integer control (by default "Master Playback
// Volume") with a configurable range, that appends every value written to
// it to a log file. Configured as
//   ctl.default { type tkztest min 0 max 31 initial 7 log "/path" name "..." }
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    snd_ctl_ext_t ext;
    long min, max;
    long value[2];
    char log[512];
    char name[64];
} TestCtl;

static int Count(snd_ctl_ext_t* ext) {
    (void)ext;
    return 1;
}

static int List(snd_ctl_ext_t* ext, unsigned int offset, snd_ctl_elem_id_t* id) {
    TestCtl* c = ext->private_data;
    (void)offset;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, c->name);
    return 0;
}

static snd_ctl_ext_key_t Find(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
    TestCtl* c = ext->private_data;
    return strcmp(snd_ctl_elem_id_get_name(id), c->name) == 0 ? 0 : SND_CTL_EXT_KEY_NOT_FOUND;
}

// One integer control of two channels.
static int Attribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned int* acc, unsigned int* count) {
    (void)ext;
    (void)key;
    *type = SND_CTL_ELEM_TYPE_INTEGER;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = 2;
    return 0;
}

static int Info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax, long* istep) {
    (void)key;
    *imin = ((TestCtl*)ext->private_data)->min;
    *imax = ((TestCtl*)ext->private_data)->max;
    *istep = 1;
    return 0;
}

static int Read(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    (void)key;
    memcpy(value, ((TestCtl*)ext->private_data)->value, 2 * sizeof(long));
    return 0;
}

static int Write(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    TestCtl* c = ext->private_data;
    FILE* f = fopen(c->log, "a");
    (void)key;
    memcpy(c->value, value, 2 * sizeof(long));
    if (f) {
        fprintf(f, "%ld %ld\n", value[0], value[1]);
        fclose(f);
    }
    return 1;
}

static void Close(snd_ctl_ext_t* ext) { free(ext->private_data); }

static const snd_ctl_ext_callback_t kCallbacks = {
    .close = Close,
    .elem_count = Count,
    .elem_list = List,
    .find_elem = Find,
    .get_attribute = Attribute,
    .get_integer_info = Info,
    .read_integer = Read,
    .write_integer = Write,
};

SND_CTL_PLUGIN_DEFINE_FUNC(tkztest) {
    snd_config_iterator_t i, next;
    TestCtl* c = calloc(1, sizeof *c);
    int err;
    (void)root;
    if (!c) return -ENOMEM;
    c->max = 31;
    strcpy(c->name, "Master Playback Volume");
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        const char* s;
        long v;
        if (snd_config_get_id(n, &id) < 0) continue;
        if (strcmp(id, "min") == 0 && snd_config_get_integer(n, &v) == 0) c->min = v;
        else if (strcmp(id, "max") == 0 && snd_config_get_integer(n, &v) == 0) c->max = v;
        else if (strcmp(id, "initial") == 0 && snd_config_get_integer(n, &v) == 0) c->value[0] = c->value[1] = v;
        else if (strcmp(id, "log") == 0 && snd_config_get_string(n, &s) == 0) snprintf(c->log, sizeof c->log, "%s", s);
        else if (strcmp(id, "name") == 0 && snd_config_get_string(n, &s) == 0)
            snprintf(c->name, sizeof c->name, "%s", s);
    }
    c->ext.version = SND_CTL_EXT_VERSION;
    strcpy(c->ext.id, "tkztest");
    strcpy(c->ext.driver, "tkztest");
    strcpy(c->ext.name, "tkztest");
    strcpy(c->ext.longname, "tkz test control");
    strcpy(c->ext.mixername, "tkz test mixer");
    c->ext.poll_fd = -1;
    c->ext.callback = &kCallbacks;
    c->ext.private_data = c;
    err = snd_ctl_ext_create(&c->ext, name, mode);
    if (err < 0) free(c);
    else *handlep = c->ext.handle;
    return err < 0 ? err : 0;
}

SND_CTL_PLUGIN_SYMBOL(tkztest);
