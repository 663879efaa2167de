#include "offscreen_gl_widget.h"

#include <GL/gl.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPainter>
#include <QSurfaceFormat>
#include <QtGlobal>

namespace {

// The fixed-function pipeline and GLU need a compatibility profile.
QSurfaceFormat compatibilityFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    return format;
}

}  // namespace

OffscreenGLWidget::OffscreenGLWidget(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

OffscreenGLWidget::~OffscreenGLWidget() {
    // The framebuffer must go while its context is current.
    if (context_ && makeCurrent()) {
        fbo_.reset();
        doneCurrent();
    }
}

bool OffscreenGLWidget::ensureContext() {
    if (triedContext_) return context_ != nullptr;
    triedContext_ = true;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(compatibilityFormat());
    surface->create();
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(compatibilityFormat());
    if (!surface->isValid() || !context->create() || !context->makeCurrent(surface.get())) {
        qWarning("OffscreenGLWidget: no OpenGL context; the view stays white");
        return false;
    }
    context->doneCurrent();
    surface_ = std::move(surface);
    context_ = std::move(context);
    return true;
}

bool OffscreenGLWidget::isGLAvailable() {
    return ensureContext();
}

bool OffscreenGLWidget::makeCurrent() {
    return context_ && context_->makeCurrent(surface_.get());
}

void OffscreenGLWidget::doneCurrent() {
    if (context_) context_->doneCurrent();
}

void OffscreenGLWidget::render() {
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (!ensureContext() || !makeCurrent()) {
        frame_ = QImage(size, QImage::Format_RGB32);
        frame_.fill(Qt::white);
        return;
    }
    if (!initialized_) {
        initialized_ = true;
        initializeGL();
    }
    if (!fbo_ || fbo_->size() != size) {
        fbo_ = std::make_unique<QOpenGLFramebufferObject>(
            size, QOpenGLFramebufferObject::CombinedDepthStencil);
        fbo_->bind();
        resizeGL(size.width(), size.height());
    }
    fbo_->bind();
    paintGL();
    readFrame(size);
    fbo_->release();
    doneCurrent();
    QPainter painter(&frame_);
    paintOverlay(painter);
}

// Into the frame kept from the last render, in the layout the painter blits
// without converting: the framebuffer's generic conversion allocated and
// converted two images per frame.
void OffscreenGLWidget::readFrame(const QSize& size) {
    if (frame_.size() != size || frame_.format() != QImage::Format_ARGB32_Premultiplied)
        frame_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    // Byte order B, G, R, A is the image's 32-bit 0xAARRGGBB on a
    // little-endian machine; rows are whole 32-bit pixels.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "BGRA bytes match ARGB32 only on little-endian");
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, size.width(), size.height(), GL_BGRA, GL_UNSIGNED_BYTE, frame_.bits());
    // OpenGL's rows run bottom up.
    frame_.mirror();
}

void OffscreenGLWidget::updateGL() {
    render();
    update();
}

QImage OffscreenGLWidget::grabFramebuffer() {
    render();
    return frame_;
}

void OffscreenGLWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frame_.isNull())
        painter.fillRect(rect(), Qt::white);
    else
        painter.drawImage(0, 0, frame_);
}
