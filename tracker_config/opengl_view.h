// The tracker as a textured box that turns with its orientation quaternion,
// drawn with the fixed-function pipeline (OffscreenGLWidget). The owner
// chooses what is drawn (setViewMode) and redraws with updateGL(); a
// disabled view in orientation mode spins a demo box under "DEMO MODE".
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <QImage>
#include <QMutex>
#include <QPointF>
#include <array>

#include "offscreen_gl_widget.h"

class OpenGLView : public OffscreenGLWidget {
    Q_OBJECT

  public:
    // What paintGL draws.
    enum ViewMode {
        Blank = 0,
        Orientation = 1,
        OrientationAlso = 2,  // drawn as Orientation
        RestingPose = 3,
        BlankStart = 4,  // the owner's blank view for streams without orientation
    };

    explicit OpenGLView(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~OpenGLView() override;

    void setViewMode(int mode) { viewMode = mode; }
    int getViewMode() const { return viewMode; }
    // Stores the flag and redraws at once.
    void setTexturesEnabled(bool enabled);
    bool texturesEnabled() const { return textures; }
    // Whether all six face images were loaded into textures.
    bool texturesLoaded() const { return loaded; }

  public slots:
    // Stores the orientation; the next updateGL() draws it.
    void quaternionChanged(double w, double x, double y, double z);

  protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void paintOverlay(QPainter& painter) override;

  private:
    bool loadTextures();
    void drawBox();
    void drawAxisMarker(int axis);
    // The box and its three markers, from a display list compiled on first
    // use (one with textures, one without): the quadrics' thousands of
    // vertices are not issued again every frame.
    void drawTracker();

    QMutex mutex;  // guards w, x, y, z
    GLUquadric* quadric = nullptr;
    std::array<GLuint, 6> textureNames{};
    std::array<GLuint, 2> trackerLists{};  // [textured]
    std::array<QImage, 6> images;
    float w = 0, x = 0, y = 0, z = 0;
    float demoAngle = 0;
    int viewMode = Blank;
    bool textures = true;
    bool loaded = false;
    // Where "DEMO MODE" goes in the frame, when the last frame wants it.
    bool demoText = false;
    QPointF demoTextPosition;
};
