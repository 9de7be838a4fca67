/* GLU's two matrix helpers, for the web build (src/platform/web/gl.cpp). */
#ifndef FLIMREVO_WEB_GLU_H
#define FLIMREVO_WEB_GLU_H

#include <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ);

#ifdef __cplusplus
}
#endif

#endif /* FLIMREVO_WEB_GLU_H */
