// A widget drawn with the OpenGL fixed-function pipeline without being an
// OpenGL widget: the scene is rendered into an offscreen framebuffer of a
// compatibility-profile context and painted as an image. Under software GL
// (virtual machines, remote desktops, Xvfb) this costs a fraction of what a
// QOpenGLWidget costs, which makes Qt compose the whole window through GL.
//
// Subclasses implement initializeGL, resizeGL and paintGL as for an OpenGL
// widget; updateGL() renders a frame at once and schedules its display, and
// paintOverlay draws with QPainter over the finished frame. Everything runs
// in the GUI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

class OffscreenGLWidget : public QWidget {
    Q_OBJECT

  public:
    explicit OffscreenGLWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~OffscreenGLWidget() override;

    // Renders a frame now (initialising GL on first use) and schedules a
    // repaint that shows it.
    void updateGL();
    // Renders a frame and returns it, overlay included.
    QImage grabFramebuffer();
    // Whether a compatibility-profile context could be had; without one the
    // widget shows white.
    bool isGLAvailable();

  protected:
    virtual void initializeGL() {}
    virtual void resizeGL(int width, int height) {
        (void)width;
        (void)height;
    }
    virtual void paintGL() = 0;
    // Drawn over each frame; nothing by default.
    virtual void paintOverlay(QPainter& painter) { (void)painter; }

    // For subclasses that must release GL objects before the context goes.
    bool makeCurrent();
    void doneCurrent();

    void paintEvent(QPaintEvent* event) override;

  private:
    bool ensureContext();
    void render();
    void readFrame(const QSize& size);

    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLFramebufferObject> fbo_;
    bool triedContext_ = false;
    bool initialized_ = false;
    QImage frame_;
};
