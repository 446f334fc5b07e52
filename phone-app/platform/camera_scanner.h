#pragma once

#include <QElapsedTimer>
#include <QMediaCaptureSession>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QCamera;
class QVideoFrame;
class QVideoSink;

namespace vesperline {

// Reads QR codes from the camera. Without a camera it is simply unavailable:
// the view hides its button, and start() does nothing.
class CameraScanner : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool available READ available NOTIFY availableChanged)
    Q_PROPERTY(bool active READ isActive NOTIFY activeChanged)
    Q_PROPERTY(QObject* videoOutput READ videoOutput WRITE setVideoOutput NOTIFY videoOutputChanged)

public:
    explicit CameraScanner(QObject* parent = nullptr);
    ~CameraScanner() override;

    bool available() const;
    bool isActive() const;

    // Where the preview goes (a QML VideoOutput); frames are read from its
    // sink. Without one the scanner reads from a sink of its own.
    QObject* videoOutput() const { return m_output; }
    void setVideoOutput(QObject* output);
    // The sink the frames arrive at.
    QVideoSink* videoSink() const;

    Q_INVOKABLE void start();
    Q_INVOKABLE void stop();

signals:
    void availableChanged();
    void activeChanged();
    void videoOutputChanged();
    // Each text once per start, however long the code stays in view.
    void decoded(const QString& text);

private:
    void watch(QVideoSink* sink);
    void onFrame(const QVideoFrame& frame);

    QMediaCaptureSession m_session;
    std::unique_ptr<QCamera> m_camera;
    std::unique_ptr<QVideoSink> m_ownSink;
    QPointer<QObject> m_output;
    QPointer<QVideoSink> m_watched;
    QElapsedTimer m_sinceDecode;
    QString m_lastText;
    bool m_available = false;
};

} // namespace vesperline
