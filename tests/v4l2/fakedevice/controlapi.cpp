// The functions tests control the fake devices with.
#include "fakev4l2.h"

#include "fakedevice.h"
#include "framemaker.h"
#include "registry.h"

using fakev4l2::Registry;

extern "C" {

int fakev4l2_configure(const char *ini)
{
    return Registry::instance().configure(ini);
}

void fakev4l2_unplug(const char *node)
{
    if (const auto device = Registry::instance().device(node))
        device->unplug();
}

void fakev4l2_replug(const char *node)
{
    if (const auto device = Registry::instance().device(node))
        device->replug();
}

void fakev4l2_set_fps(const char *node, int fps)
{
    if (const auto device = Registry::instance().device(node))
        device->setFps(fps);
}

void fakev4l2_step(const char *node, int count)
{
    if (const auto device = Registry::instance().device(node))
        device->step(count);
}

long fakev4l2_frames(const char *node)
{
    const auto device = Registry::instance().device(node);
    return device ? device->frames() : -1;
}

int fakev4l2_control(const char *node, unsigned id)
{
    std::int32_t value = 0;
    const auto device = Registry::instance().device(node);
    return device && device->control(id, value) ? value : -1;
}

long fakev4l2_calls(void)
{
    return Registry::instance().calls();
}

int fakev4l2_open_files(void)
{
    return Registry::instance().openFiles();
}

int fakev4l2_mappings(void)
{
    return Registry::instance().mappings();
}

void fakev4l2_render(int width, int height, unsigned variant, unsigned char *rgb)
{
    fakev4l2::renderPattern(width, height, variant, rgb);
}

}  // extern "C"
