/* A fake V4L2 camera for tests: a library that, preloaded ahead of umockdev's
 * (LD_PRELOAD=libfakev4l2.so:libumockdev-preload.so.0), answers open(), ioctl(), mmap(), poll(),
 * read() and close() for the /dev/videoN nodes it is told about and passes everything else on.
 *
 * Devices are described in INI text, one section per node:
 *
 *   [video0]
 *   card = Document Camera       ; the name VIDIOC_QUERYCAP reports
 *   mjpg = 1280x720 640x480      ; MJPG frame sizes, in the order the device lists them
 *   yuyv = 640x480               ; YUYV frame sizes
 *   metadata = no                ; yes: a UVC metadata node (answers size queries all the same)
 *   fps = 30                     ; frames per second; 0 holds the stream until changed
 *   huffman = yes                ; no: MJPG frames without Huffman tables, as many cameras send
 *   bad_every = 0                ; N > 0: every Nth frame is bad, of the kinds below in turn
 *   bad_kinds = error nosoi noeoi truncated
 *   unplug_after = 0             ; N > 0: the device is unplugged after its Nth frame (once)
 *   replug_after_ms = 0          ; M > 0: it comes back M ms after being unplugged
 *   power_line = yes             ; whether it has the power-line frequency control
 *
 * A process reads the file named by $FAKEV4L2_CONFIG on first use; tests call fakev4l2_configure.
 * Every MJPG frame carries a comment segment "fake frame N", N counting the device's frames from 0.
 */
#ifndef FAKEV4L2_H
#define FAKEV4L2_H

#define FAKEV4L2_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces all fake devices with those in ini; open files of the old ones act unplugged. Returns 0,
 * or the line number of the first error (and then no device changes). */
FAKEV4L2_API int fakev4l2_configure(const char *ini);

/* Unplugs the device of node ("video0") now, or plugs it back in; no effect on unknown nodes. */
FAKEV4L2_API void fakev4l2_unplug(const char *node);
FAKEV4L2_API void fakev4l2_replug(const char *node);

/* Changes the frame rate of node while it streams. */
FAKEV4L2_API void fakev4l2_set_fps(const char *node, int fps);

/* Has every streaming file of node produce count frames at once, whatever its rate; with fps = 0
 * this gives a test exact control over which frames are waiting. */
FAKEV4L2_API void fakev4l2_step(const char *node, int count);

/* Frames node has produced (including those no buffer was queued for); -1 for unknown nodes. */
FAKEV4L2_API long fakev4l2_frames(const char *node);

/* The current value of control id (V4L2_CID_*) of node; -1 when it has none. */
FAKEV4L2_API int fakev4l2_control(const char *node, unsigned id);

/* Calls of the application on fake devices so far: open() of a fake node, and ioctl() and poll()
 * on fake files. */
FAKEV4L2_API long fakev4l2_calls(void);

/* Fake files open now, and the application's live mappings of fake buffers. */
FAKEV4L2_API int fakev4l2_open_files(void);
FAKEV4L2_API int fakev4l2_mappings(void);

/* The picture of frame variant (frame number modulo 4) at width x height, as packed RGB: a white
 * page with colour bars on a dark desk. */
FAKEV4L2_API void fakev4l2_render(int width, int height, unsigned variant, unsigned char *rgb);

#ifdef __cplusplus
}
#endif

#endif /* FAKEV4L2_H */
