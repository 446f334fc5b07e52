#include "platform/camera_scanner.h"

#include "platform/qr_decoder.h"

#include <QCamera>
#include <QMediaDevices>
#include <QVideoFrame>
#include <QVideoSink>

namespace vesperline {

namespace {

// Decoding runs on the main thread; a few tries a second find a code held up
// to the camera as fast as a person notices, and leave the UI smooth.
constexpr qint64 decodeIntervalMs = 200;

} // namespace

CameraScanner::CameraScanner(QObject* parent)
    : QObject(parent)
    , m_ownSink(std::make_unique<QVideoSink>())
    , m_available(!QMediaDevices::videoInputs().isEmpty())
{
    m_session.setVideoSink(m_ownSink.get());
    watch(m_ownSink.get());
    // A camera plugged in or out while the app runs.
    auto* devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::videoInputsChanged, this, [this] {
        const bool now = !QMediaDevices::videoInputs().isEmpty();
        if (now != m_available) {
            m_available = now;
            if (!now) {
                stop();
            }
            emit availableChanged();
        }
    });
}

CameraScanner::~CameraScanner()
{
    m_session.setCamera(nullptr);
}

bool CameraScanner::available() const
{
    return m_available;
}

bool CameraScanner::isActive() const
{
    return m_camera && m_camera->isActive();
}

void CameraScanner::setVideoOutput(QObject* output)
{
    if (output == m_output) {
        return;
    }
    m_output = output;
    if (output) {
        m_session.setVideoOutput(output);
    } else {
        m_session.setVideoSink(m_ownSink.get());
    }
    watch(m_session.videoSink());
    emit videoOutputChanged();
}

QVideoSink* CameraScanner::videoSink() const
{
    return m_session.videoSink();
}

void CameraScanner::watch(QVideoSink* sink)
{
    if (m_watched) {
        disconnect(m_watched, nullptr, this, nullptr);
    }
    m_watched = sink;
    if (sink) {
        connect(sink, &QVideoSink::videoFrameChanged, this, &CameraScanner::onFrame);
    }
}

void CameraScanner::start()
{
    m_lastText.clear();
    m_sinceDecode.invalidate();
    // Without an input Qt's GStreamer backend would feed a test pattern from
    // a device-less camera: never offer that as a camera.
    if (!m_available || m_camera) {
        return;
    }
    m_camera = std::make_unique<QCamera>(QMediaDevices::defaultVideoInput());
    connect(m_camera.get(), &QCamera::activeChanged, this, &CameraScanner::activeChanged);
    m_session.setCamera(m_camera.get());
    m_camera->start();
}

void CameraScanner::stop()
{
    if (!m_camera) {
        return;
    }
    const bool wasActive = m_camera->isActive();
    m_session.setCamera(nullptr);
    m_camera.reset();
    if (wasActive) {
        emit activeChanged();
    }
}

void CameraScanner::onFrame(const QVideoFrame& frame)
{
    if (!frame.isValid() || (m_sinceDecode.isValid() && m_sinceDecode.elapsed() < decodeIntervalMs)) {
        return;
    }
    m_sinceDecode.start();
    const std::optional<QString> text = QrDecoder::decode(frame.toImage());
    if (text && *text != m_lastText) {
        m_lastText = *text;
        emit decoded(*text);
    }
}

} // namespace vesperline
