/*
 * The camera library's C interface: the 21 functions that doccam calls.
 *
 * Any library that exports these functions under these unmangled names, as a shared object whose
 * SONAME is exactly "libQirmelLib.so", can stand in for another beside the executable. Integers are
 * 32-bit; a negative result means failure wherever a caller looks at one.
 */
#ifndef QIRMEL_LIB_H
#define QIRMEL_LIB_H

#if defined(QIRMEL_BUILDING_LIBRARY)
#define QIRMEL_API __attribute__((visibility("default")))
#else
#define QIRMEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the named configuration file and enumerates the cameras. Call first and once. Returns 0 on
 * success, negative when the library could not start; the configuration's absence is not a failure. */
QIRMEL_API int Init(const char *configFileName);

/* Returns the number of cameras found by Init; their indices run from 0 to the count minus one. */
QIRMEL_API int GetCameraCount(void);

/* Returns the camera's NUL-terminated name, owned by the library and valid until the process ends,
 * or a null pointer for an index out of range. */
QIRMEL_API const char *GetCamName(int index);

/* Return the camera's USB product and vendor id, or a negative value for an index out of range. */
QIRMEL_API int GetCameraPID(int index);
QIRMEL_API int GetCameraVID(int index);

/* Return the index of the main (document) camera and of the auxiliary camera, negative if none. */
QIRMEL_API int GetMainCamera(void);
QIRMEL_API int GetAuxCamera(void);

/* Selects compressed (MJPG, 1) or uncompressed (0) capture for the next OpenCamera. Frames reach the
 * caller as JPEG either way. Returns 0. */
QIRMEL_API int SetMJPG(int enable);

/* Sets the frame size that the next OpenCamera asks for; the camera opens the nearest size it lists.
 * Returns 0, or negative for a size that is not positive. */
QIRMEL_API int SetDefaultRes(int width, int height);

/* Opens the camera at index and starts streaming. Returns 0 on success; negative for a bad index or
 * a camera that could not be opened, which leaves no camera open. */
QIRMEL_API int OpenCamera(int index);

/* Stops streaming and closes the open camera; harmless when none is open. Returns 0. */
QIRMEL_API int CloseCamera(void);

/* Returns the number of frame sizes the open camera offers, 0 when none is open. */
QIRMEL_API int GetResCount(void);

/* Return the width and height of the open camera's frame size at index, negative out of range. */
QIRMEL_API int GetResWidth(int index);
QIRMEL_API int GetResHeight(int index);

/* Return the size of the frames GetFrameBuffer delivers now (width and height swapped while the
 * picture is turned by 90 or 270 degrees), 0 when no camera is open. A document cut out by auto
 * crop comes smaller, never wider or taller. */
QIRMEL_API int GetCurResWidth(void);
QIRMEL_API int GetCurResHeight(void);

/* Waits for the next frame and copies it, JPEG-encoded, into buffer, which must hold
 * GetCurResWidth() * GetCurResHeight() * 3 bytes; never writes more. Stores the byte count in
 * *length. Returns 0 or more on success; negative when no frame came (no camera open, timeout,
 * device gone), leaving the buffer's content unspecified. */
QIRMEL_API int GetFrameBuffer(unsigned char *buffer, int *length);

/* Writes the newest frame at full resolution, rotated and cropped like the preview, as a JPEG file
 * at path (in the local 8-bit encoding). Never replaces an existing file, leaves no partial file and
 * writes no damaged picture: where no frame has come since the opening, or the newest was damaged,
 * waits up to two seconds for a whole one. Returns 0 on success, negative when the photo was not
 * written. */
QIRMEL_API int Capture(const char *path);

/* Turn the picture a further 90 degrees counter-clockwise (left) or clockwise (right), for preview
 * frames and photos alike. The argument is reserved; callers pass 0. Return 0. */
QIRMEL_API int RotateLeft(int reserved);
QIRMEL_API int RotateRight(int reserved);

/* Switches automatic document edge finding and perspective crop off (0) or on (non-zero). Returns 0. */
QIRMEL_API int SetAutoCrop(int enable);

#ifdef __cplusplus
}
#endif

#endif /* QIRMEL_LIB_H */
