#include "opengl_view.h"

#include <QFont>
#include <QMutexLocker>
#include <QPainter>
#include <cmath>

#include "resources.h"

namespace {

// Rings along a quadric's height (stacks) and around a disk (loops). The
// scene is unlit, so these subdivisions draw exactly the same pixels as the
// finer ones (20) and cost a twentieth of the triangles under software GL.
constexpr GLint kStacks = 1;
constexpr GLint kLoops = 1;

// The box: one corner at the origin of its own frame.
constexpr float kX = 9.0f, kY = 9.0f, kZ = 4.2f;

struct Face {
    const char* image;
    float vertices[4][3];
    float colour[3];
};

// In the order the textures are loaded (right, left, down, up, back, front).
const Face kFaces[6] = {
    {":/images/IMUTextures/right.png",
     {{0, 0, 0}, {0, 0, kZ}, {0, kY, kZ}, {0, kY, 0}},
     {0.5f, 0, 0}},
    {":/images/IMUTextures/left.png",
     {{kX, 0, 0}, {kX, 0, kZ}, {kX, kY, kZ}, {kX, kY, 0}},
     {1, 0.5f, 0.5f}},
    {":/images/IMUTextures/down.png",
     {{0, 0, 0}, {kX, 0, 0}, {kX, 0, kZ}, {0, 0, kZ}},
     {0, 0.5f, 0}},
    {":/images/IMUTextures/up.png",
     {{0, kY, 0}, {kX, kY, 0}, {kX, kY, kZ}, {0, kY, kZ}},
     {0.5f, 1, 0.5f}},
    {":/images/IMUTextures/back.png",
     {{0, 0, 0}, {0, kY, 0}, {kX, kY, 0}, {kX, 0, 0}},
     {0, 0, 0.5f}},
    {":/images/IMUTextures/front.png",
     {{0, 0, kZ}, {kX, 0, kZ}, {kX, kY, kZ}, {0, kY, kZ}},
     {0.5f, 0.5f, 1}},
};

const float kTexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

}  // namespace

OpenGLView::OpenGLView(QWidget* parent, Qt::WindowFlags flags) : OffscreenGLWidget(parent, flags) {
    TrackerConfig::ensureResources();
}

OpenGLView::~OpenGLView() {
    if (makeCurrent()) {
        if (quadric) gluDeleteQuadric(quadric);
        for (GLuint list : trackerLists)
            if (list) glDeleteLists(list, 1);
        for (GLuint& name : textureNames)
            if (name) glDeleteTextures(1, &name);
        doneCurrent();
    }
}

void OpenGLView::quaternionChanged(double qw, double qx, double qy, double qz) {
    {
        QMutexLocker lock(&mutex);
        w = static_cast<float>(qw);
        x = static_cast<float>(qx);
        y = static_cast<float>(qy);
        z = static_cast<float>(qz);
    }
    // No repaint here: a repaint shows the frame the last updateGL() rendered,
    // so between two renders it would paint the same picture again, once per
    // sample. The owner's redraw timer renders and shows the new orientation.
}

void OpenGLView::setTexturesEnabled(bool enabled) {
    textures = enabled;
    updateGL();
}

void OpenGLView::initializeGL() {
    glClearColor(0, 0, 0, 1);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10, 10, -10, 10, -20, 20);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(-10, 0, 0, 0, 0, 0, 0, 0, 1);
    loaded = loadTextures();
    quadric = gluNewQuadric();
    gluQuadricNormals(quadric, GLU_SMOOTH);
}

// A face whose image does not load, and every face after it, is drawn
// with texture name 0.
bool OpenGLView::loadTextures() {
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        QImage image(QString::fromLatin1(kFaces[i].image));
        ok = ok && !image.isNull();
        if (!ok) continue;
        // OpenGL's layout: RGBA bytes, bottom row first.
        images[i] = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
        glGenTextures(1, &textureNames[i]);
        glBindTexture(GL_TEXTURE_2D, textureNames[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, images[i].width(), images[i].height(), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, images[i].constBits());
    }
    return ok;
}

void OpenGLView::resizeGL(int width, int height) {
    glViewport(0, 0, width, height);
}

void OpenGLView::drawBox() {
    glPushMatrix();
    const bool textured = textures;
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glColor3f(1, 1, 1);
    }
    for (int i = 0; i < 6; ++i) {
        const Face& face = kFaces[i];
        if (textured)
            glBindTexture(GL_TEXTURE_2D, textureNames[i]);
        else
            glColor3fv(face.colour);
        glBegin(GL_POLYGON);
        for (int v = 0; v < 4; ++v) {
            if (textured) glTexCoord2fv(kTexCoords[v]);
            glVertex3fv(face.vertices[v]);
        }
        glEnd();
    }
    if (textured) glDisable(GL_TEXTURE_2D);

    // The cable connector on the x = 0 face.
    glRotatef(90, 0, 1, 0);
    glTranslatef(-0.32f * kX, 0.5f * kY, -1);
    glColor3f(0, 0, 0);
    gluCylinder(quadric, 1.2, 1.2, 1, 60, kStacks);
    gluDisk(quadric, 0, 1.2, 60, kLoops);
    glPopMatrix();
    glColor3f(1, 1, 1);
}

void OpenGLView::drawAxisMarker(int axis) {
    glPushMatrix();
    glTranslatef(0.8f * kX, 0.8f * kY, 0.4f * kZ);
    if (axis == 0) {
        glColor3f(1, 0, 0);
        glRotatef(90, 0, 1, 0);
        glTranslatef(0, 0, 0.2f * kX);
    } else if (axis == 1) {
        glColor3f(0, 1, 0);
        glRotatef(-90, 1, 0, 0);
        glTranslatef(0, 0, 0.2f * kY);
    } else {
        glColor3f(0, 0, 1);
        glTranslatef(0, 0, 0.6f * kZ);
    }
    gluCylinder(quadric, 0.2, 0, 0.5, 180, kStacks);
    glTranslatef(0, 0, 0.5f);
    gluCylinder(quadric, 0.3, 0, 0.5, 180, kStacks);
    glPopMatrix();
}

void OpenGLView::drawTracker() {
    GLuint& list = trackerLists[textures ? 1 : 0];
    if (list) {
        glCallList(list);
        return;
    }
    list = glGenLists(1);
    glNewList(list, GL_COMPILE_AND_EXECUTE);
    drawBox();
    for (int axis = 0; axis < 3; ++axis) drawAxisMarker(axis);
    glEndList();
}

void OpenGLView::paintGL() {
    demoText = false;
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (viewMode == RestingPose) {
        glLineWidth(10);
        glPushMatrix();
        glRotatef(45, 0, 1, -1);
        glTranslatef(-kX / 2, -kY / 2, -kZ / 2);
        drawTracker();
        glPopMatrix();
        return;
    }
    if (viewMode != Orientation && viewMode != OrientationAlso) return;

    glLineWidth(10);
    glPushMatrix();
    if (isEnabled()) {
        float axis[3] = {0, 0, 1};
        float angle = 0;
        {
            QMutexLocker lock(&mutex);
            const float n = std::sqrt(x * x + y * y + z * z);
            if (n > 1e-13f) {
                axis[0] = x / n;
                axis[1] = y / n;
                axis[2] = z / n;
                angle = 2 * std::acos(w);
            }
        }
        // The factor 180 / 3.14 (not pi) turns slightly more than the angle;
        // kept, as the view has always turned so.
        if (std::fabs(angle) > 0.001f) glRotatef(angle * -180 / 3.14f, axis[0], axis[1], axis[2]);
    } else {
        demoAngle = std::fmod(demoAngle + 0.5f, 360.0f);
        glRotatef(45, 0, 1, -1);
        glRotatef(demoAngle, 0, 0, 1);
    }
    glTranslatef(-4.5f, -4.5f, -2.1f);
    drawTracker();
    glPopMatrix();

    if (!isEnabled()) {
        // The text goes where the scene point (0, -5, 8) lands; QPainter
        // draws it over the frame (paintOverlay).
        GLdouble model[16], projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        GLdouble wx, wy, wz;
        if (gluProject(0, -5, 8, model, projection, viewport, &wx, &wy, &wz) == GL_TRUE) {
            demoText = true;
            demoTextPosition = QPointF(wx, viewport[3] - wy);
        }
    }
}

void OpenGLView::paintOverlay(QPainter& painter) {
    if (!demoText) return;
    QFont font(QStringLiteral("Times"), 16, QFont::Bold);
    font.setItalic(false);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(demoTextPosition, QStringLiteral("DEMO MODE"));
}
