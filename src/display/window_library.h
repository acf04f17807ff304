// The window libraries (freeglut, GL with GLX, Xlib), loaded when the first
// window opens: a run that never opens one does not pay for loading them.
#pragma once

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

namespace kx {

// Every function of the window libraries the screen device calls, with the
// library it comes from (glut: freeglut; gl: GL and GLX; x: Xlib).
#define KX_WINDOW_FUNCTIONS(F)                                                                       \
    F(glut, glutInit)                                                                                \
    F(glut, glutInitErrorFunc)                                                                       \
    F(glut, glutInitWarningFunc)                                                                     \
    F(glut, glutInitDisplayMode)                                                                     \
    F(glut, glutInitWindowSize)                                                                      \
    F(glut, glutSetOption)                                                                           \
    F(glut, glutCreateWindow)                                                                        \
    F(glut, glutDisplayFunc)                                                                         \
    F(glut, glutMouseFunc)                                                                           \
    F(glut, glutKeyboardFunc)                                                                        \
    F(glut, glutCloseFunc)                                                                           \
    F(glut, glutIdleFunc)                                                                            \
    F(glut, glutTimerFunc)                                                                           \
    F(glut, glutPostRedisplay)                                                                       \
    F(glut, glutReshapeWindow)                                                                       \
    F(glut, glutSetWindowTitle)                                                                      \
    F(glut, glutMainLoop)                                                                            \
    F(gl, glXGetCurrentDisplay)                                                                      \
    F(gl, glXGetCurrentDrawable)                                                                     \
    F(gl, glMatrixMode)                                                                              \
    F(gl, glOrtho)                                                                                   \
    F(gl, glLoadIdentity)                                                                            \
    F(gl, glPixelStorei)                                                                             \
    F(gl, glRasterPos2f)                                                                             \
    F(gl, glDrawPixels)                                                                              \
    F(gl, glFlush)                                                                                   \
    F(x, XOpenDisplay)                                                                               \
    F(x, XCloseDisplay)                                                                              \
    F(x, XSetIOErrorHandler)                                                                         \
    F(x, XSetErrorHandler)                                                                           \
    F(x, XGetWindowAttributes)

// The window libraries' functions, each null until load() has found them
// all. The libraries stay loaded once loaded: the toolkit keeps our
// callbacks and handlers, and its own exit handlers, to the end.
struct WindowLibrary {
#define KX_WINDOW_FUNCTION_MEMBER(library, function) decltype(&::function) function = nullptr;
    KX_WINDOW_FUNCTIONS(KX_WINDOW_FUNCTION_MEMBER)
#undef KX_WINDOW_FUNCTION_MEMBER

    // Loads the libraries and finds every function: false, with every
    // function null, when one of them is missing.
    bool load();
    bool loaded() const { return glutMainLoop != nullptr; }
};

}  // namespace kx
