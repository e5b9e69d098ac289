#ifndef OPENGLINTEGRATIONS_H
#define OPENGLINTEGRATIONS_H

// The panel draws with the raster engine only, yet on a machine with Mesa the
// X11 platform loads the GL driver when it makes the first window (Mesa's
// libLLVM and swrast: about 50 MiB resident, and time at every start). Turns
// the X11 platform's OpenGL integration off unless the user has set
// QT_XCB_GL_INTEGRATION. Must run before the application object is made.
void disableOpenGLIntegrations();

#endif // OPENGLINTEGRATIONS_H
