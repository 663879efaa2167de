#include "offscreen_gl_widget.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QPainter>
#include <QSurfaceFormat>

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
    frame_ = fbo_->toImage();
    fbo_->release();
    doneCurrent();
    QPainter painter(&frame_);
    paintOverlay(painter);
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
