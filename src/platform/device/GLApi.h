// The OpenGL the device is written against: OpenGL 3.3 core through libepoxy
// on the desktop, OpenGL ES 3.0 (WebGL2) in the browser. The device uses the
// common subset; where ES lacks something the desktop has, the names below
// give ES the nearest equivalent, or nothing where the demo never needs it.
#pragma once

#if defined(__EMSCRIPTEN__)

#include <GLES3/gl3.h>

inline constexpr bool kGLES = true;

// Polygon modes other than fill do not exist in ES: every polygon is filled.
#define GL_POINT 0x1B00
#define GL_LINE 0x1B01
#define GL_FILL 0x1B02
inline void glPolygonMode(GLenum, GLenum) {}
// Point sizes always come from the shader; gl_PointCoord's origin is fixed
// at the top left (the shader flips it); flat shading never matters to the
// device's shaders.
#define GL_PROGRAM_POINT_SIZE 0x8642
#define GL_POINT_SPRITE_COORD_ORIGIN 0x8CA0
#define GL_LOWER_LEFT 0x8CA1
#define GL_FIRST_VERTEX_CONVENTION 0x8E4D
#define GL_ZERO_TO_ONE 0x935F
inline void glPointParameteri(GLenum, GLint) {}
inline void glProvokingVertex(GLenum) {}
inline void glClipControl(GLenum, GLenum) {}
// The only fragment output is at location 0 already.
inline void glBindFragDataLocation(GLuint, GLuint, const char*) {}
inline void glClearDepth(double depth) { glClearDepthf(static_cast<GLfloat>(depth)); }
#define GL_POINT_SIZE_RANGE GL_ALIASED_POINT_SIZE_RANGE
#define GL_CLAMP_TO_BORDER GL_CLAMP_TO_EDGE
#define GL_DEPTH_COMPONENT32 GL_DEPTH_COMPONENT24
// Vertex colours are uploaded as they lie in memory (B, G, R, A) and the
// shader swaps them.
#define GL_BGRA 4
// WebGL maps no buffers: streamed vertices are copied in with
// glBufferSubData, and frames are read back at once, never late.
#define glMapBufferRange(target, offset, length, access) static_cast<void*>(nullptr)
#define glUnmapBuffer(target) GL_FALSE

inline int GLVersion() { return 30; }
inline bool GLHasExtension(const char*) { return false; }

#else

#include <epoxy/gl.h>

inline constexpr bool kGLES = false;

inline int GLVersion() { return epoxy_gl_version(); }
inline bool GLHasExtension(const char* name) { return epoxy_has_gl_extension(name); }

#endif
