#pragma once

class QWidget;

// The widget the view draws into: OpenGL on a GPU; the raster engine where
// OpenGL would draw in software (Mesa's llvmpipe paints a full-screen frame
// several times slower) or cannot be had at all (a QOpenGLWidget would crash
// on its first paint). CARROWMERE_VIEWPORT=opengl or =raster forces the
// choice for diagnosis; a forced OpenGL that cannot work falls back to
// raster. Says once a run, in the category carrowmere.viewport, which it
// took and why.
QWidget* makeViewport(QWidget* parent);
