#include "relay/http_session.h"

#include "relay/certificate_pin.h"

#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>

#include <qcoro/qcoronetworkreply.h>

namespace idlewyn {

std::optional<QByteArray> HttpResponse::header(const QByteArray& name) const
{
    for (const HttpHeader& h : headers) {
        if (h.name.compare(name, Qt::CaseInsensitive) == 0) {
            return h.value;
        }
    }
    return std::nullopt;
}

TransportError::TransportError(QNetworkReply::NetworkError code, const QString& description)
    : Error(description)
    , m_code(code)
{
}

HttpSession& HttpSession::shared()
{
    static HttpSession* session = new HttpSession(Trust::platform, std::nullopt, nullptr);
    return *session;
}

std::unique_ptr<HttpSession> HttpSession::trustOnFirstUse()
{
    return std::unique_ptr<HttpSession>(new HttpSession(Trust::firstUse, std::nullopt, nullptr));
}

HttpSession::HttpSession(QObject* parent)
    : HttpSession(Trust::platform, std::nullopt, parent)
{
}

HttpSession::HttpSession(const QString& pin, QObject* parent)
    : HttpSession(Trust::pinned, CertificatePin::normalized(pin), parent)
{
}

HttpSession::HttpSession(Trust trust, std::optional<QString> pin, QObject* parent)
    : QObject(parent)
    , m_trust(trust)
    , m_pin(std::move(pin))
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

HttpSession::~HttpSession() = default;

std::optional<QString> HttpSession::seen() const
{
    QMutexLocker lock(&m_seenLock);
    return m_seen;
}

void HttpSession::invalidate()
{
    m_invalidated = true;
    const auto replies = m_manager->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies) {
        reply->abort();
    }
}

QCoro::Task<HttpResponse> HttpSession::send(HttpRequest request)
{
    if (m_invalidated) {
        throw TransportError(QNetworkReply::OperationCanceledError,
                             QStringLiteral("The session was invalidated before the request."));
    }

    QNetworkRequest req(request.url);
    for (const HttpHeader& h : request.headers) {
        req.setRawHeader(h.name, h.value);
    }
    req.setTransferTimeout(static_cast<int>(request.timeout.count()));
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    if (m_trust != Trust::platform) {
        // No chain evaluation: the pin (or nothing, on first use) decides.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls.setSslOption(QSsl::SslOptionDisableSessionTickets, true);
        tls.setSslOption(QSsl::SslOptionDisableSessionSharing, true);
        req.setSslConfiguration(tls);
        req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    }

    QNetworkReply* raw = m_manager->sendCustomRequest(req, request.method, request.body.value_or(QByteArray()));
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(raw, [](QNetworkReply* r) { r->deleteLater(); });

    auto mismatch = std::make_shared<bool>(false);
    if (m_trust != Trust::platform) {
        QPointer<HttpSession> self(this);
        connect(raw, &QNetworkReply::encrypted, this, [self, raw, mismatch] {
            if (!self) {
                return;
            }
            const QString fingerprint = CertificatePin::fingerprint(raw->sslConfiguration().peerCertificate());
            {
                QMutexLocker lock(&self->m_seenLock);
                self->m_seen = fingerprint;
            }
            if (self->m_trust == Trust::pinned && self->m_pin != fingerprint) {
                *mismatch = true;
                raw->abort();
            }
        });
    }

    co_await qCoro(raw).waitForFinished();

    if (*mismatch) {
        throw TransportError(QNetworkReply::OperationCanceledError,
                             QStringLiteral("The server's certificate does not match the pinned certificate."));
    }

    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        HttpResponse response;
        response.status = status.toInt();
        for (const auto& [name, value] : raw->rawHeaderPairs()) {
            response.headers.append(HttpHeader{name, value});
        }
        response.body = raw->readAll();
        co_return response;
    }

    switch (raw->error()) {
    case QNetworkReply::NoError:
        // Finished without HTTP at all (a non-HTTP scheme).
        co_return HttpResponse{std::nullopt, {}, raw->readAll()};
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::RemoteHostClosedError:
        // The peer took the request and answered with something that is not
        // HTTP (Qt's parser gives up and reports the close), or with nothing.
        co_return HttpResponse{std::nullopt, {}, {}};
    case QNetworkReply::OperationCanceledError:
        if (m_invalidated) {
            throw TransportError(QNetworkReply::OperationCanceledError, raw->errorString());
        }
        // Only the transfer timeout cancels a reply that nobody aborted.
        throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    default:
        throw TransportError(raw->error(), raw->errorString());
    }
}

} // namespace idlewyn
