#include "platform/screencast/screencast_portal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <utility>

namespace platform::screencast {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// A string or an object path: portals differ in how they type the session handle.
QString PathText(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

// An (ii) value of a stream's properties.
std::optional<std::pair<int, int>> IntPair(const QVariant& value) {
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(ii)")) return std::nullopt;
    int first = 0, second = 0;
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return std::pair{first, second};
}

// The first stream of Start's a(ua{sv}): its node and where it lies.
std::optional<std::pair<std::uint32_t, StreamPlace>> FirstStream(const QVariant& streams) {
    if (streams.userType() != qMetaTypeId<QDBusArgument>()) return std::nullopt;
    const auto argument = streams.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(ua{sv})")) return std::nullopt;
    std::optional<std::pair<std::uint32_t, StreamPlace>> first;
    argument.beginArray();
    while (!argument.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        argument.beginStructure();
        argument >> node >> properties;
        argument.endStructure();
        if (first) continue;
        StreamPlace place;
        if (auto p = IntPair(properties.value(QStringLiteral("position")))) {
            place.position = Point{p->first, p->second};
        }
        if (auto s = IntPair(properties.value(QStringLiteral("size")))) {
            place.size = Size{s->first, s->second};
        }
        first = std::pair{node, place};
    }
    argument.endArray();
    return first;
}

}  // namespace

ScreenCastPortal::ScreenCastPortal(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

ScreenCastPortal::~ScreenCastPortal() {
    Close();
}

void ScreenCastPortal::Start(const std::string& restoreToken, Granted granted, Failed failed) {
    Close();
    granted_ = std::move(granted);
    failed_ = std::move(failed);
    restoreToken_ = restoreToken;
    grant_ = PortalGrant{};
    step_ = Step::Properties;
    const std::uint64_t attempt = attempt_;
    auto message = QDBusMessage::createMethodCall(kService, kPath,
                                                  QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("GetAll"));
    message << kScreenCast;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](auto* w) {
        w->deleteLater();
        if (attempt != attempt_) return;
        QDBusPendingReply<QVariantMap> reply = *w;
        if (reply.isError()) {
            FailOnError(reply.error().name());
        } else {
            AfterProperties(reply.value());
        }
    });
}

void ScreenCastPortal::AfterProperties(const QVariantMap& properties) {
    // A front end without a ScreenCast back end has no such interface; one whose back end
    // offers no monitors cannot give what is asked for.
    const uint sources = properties.value(QStringLiteral("AvailableSourceTypes")).toUInt();
    if (properties.isEmpty() || (sources & kSourceMonitor) == 0) {
        Fail(PortalFailure::NoScreenCast);
        return;
    }
    cursorMode_ = CursorModeFor(properties.value(QStringLiteral("AvailableCursorModes")).toUInt());
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("korvex%1").arg(++tokens_));
    Request(Step::CreateSession, QStringLiteral("CreateSession"), {}, options);
}

void ScreenCastPortal::Request(Step step, const QString& method, QVariantList arguments,
                               QVariantMap options) {
    step_ = step;
    const QString token = QStringLiteral("korvex%1").arg(++tokens_);
    options.insert(QStringLiteral("handle_token"), token);
    // Listening before the call, so that a quick answer is not missed: the request's path
    // follows from our bus name and the token.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    ListenTo(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));

    auto message = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    arguments.append(options);
    message.setArguments(arguments);
    const std::uint64_t attempt = attempt_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](auto* w) {
        w->deleteLater();
        if (attempt != attempt_) return;
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            FailOnError(reply.error().name());
        } else if (reply.value().path() != requestPath_) {
            // Older front ends choose the path themselves.
            ListenTo(reply.value().path());
        }
    });
}

void ScreenCastPortal::ListenTo(const QString& requestPath) {
    StopListening();
    requestPath_ = requestPath;
    bus_.connect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                 SLOT(OnResponse(uint, QVariantMap)));
}

void ScreenCastPortal::StopListening() {
    if (requestPath_.isEmpty()) return;
    bus_.disconnect(kService, requestPath_, kRequest, QStringLiteral("Response"), this,
                    SLOT(OnResponse(uint, QVariantMap)));
    requestPath_.clear();
}

void ScreenCastPortal::OnResponse(uint code, const QVariantMap& results) {
    StopListening();
    PortalFailure failure{};
    if (ResponseFails(code, failure)) {
        Fail(failure);
        return;
    }
    switch (step_) {
        case Step::CreateSession: {
            session_ = PathText(results.value(QStringLiteral("session_handle")));
            QVariantMap options;
            options.insert(QStringLiteral("types"), uint{kSourceMonitor});
            options.insert(QStringLiteral("multiple"), false);
            options.insert(QStringLiteral("cursor_mode"), uint{cursorMode_});
            options.insert(QStringLiteral("persist_mode"), uint{kPersistUntilRevoked});
            if (UsableRestoreToken(restoreToken_)) {
                options.insert(QStringLiteral("restore_token"),
                               QString::fromStdString(restoreToken_));
            }
            Request(Step::SelectSources, QStringLiteral("SelectSources"),
                    {QVariant::fromValue(QDBusObjectPath(session_))}, options);
            break;
        }
        case Step::SelectSources:
            Request(Step::Start, QStringLiteral("Start"),
                    {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {});
            break;
        case Step::Start:
            AfterStart(results);
            break;
        case Step::None:
        case Step::Properties:
        case Step::Remote:
            break;
    }
}

void ScreenCastPortal::AfterStart(const QVariantMap& results) {
    const auto stream = FirstStream(results.value(QStringLiteral("streams")));
    if (!stream) {
        Fail(PortalFailure::Refused);
        return;
    }
    grant_.node = stream->first;
    grant_.place = stream->second;
    grant_.restoreToken = results.value(QStringLiteral("restore_token")).toString().toStdString();
    OpenRemote();
}

void ScreenCastPortal::OpenRemote() {
    step_ = Step::Remote;
    auto message = QDBusMessage::createMethodCall(kService, kPath, kScreenCast,
                                                  QStringLiteral("OpenPipeWireRemote"));
    message << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap{};
    const std::uint64_t attempt = attempt_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, attempt](auto* w) {
        w->deleteLater();
        if (attempt != attempt_) return;
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError() || !reply.value().isValid()) {
            Fail(PortalFailure::NoPipeWire);
            return;
        }
        grant_.pipeWire = reply.value();
        step_ = Step::None;
        failed_ = nullptr;
        // The session stays open: it is what keeps the stream flowing. The grant is not kept:
        // its descriptor would keep the PipeWire connection open after the stream has ended.
        PortalGrant grant = std::exchange(grant_, PortalGrant{});
        if (granted_) std::exchange(granted_, nullptr)(grant);
    });
}

void ScreenCastPortal::FailOnError(const QString& errorName) {
    Fail(FailureOfError(errorName.toStdString(), step_ != Step::Properties));
}

void ScreenCastPortal::Fail(PortalFailure failure) {
    Failed failed = std::exchange(failed_, nullptr);
    Close();
    if (failed) failed(failure);
}

void ScreenCastPortal::Close() {
    ++attempt_;
    if (!requestPath_.isEmpty()) {
        // Takes the desktop's dialog away if it is still open.
        bus_.asyncCall(QDBusMessage::createMethodCall(kService, requestPath_, kRequest,
                                                      QStringLiteral("Close")));
        StopListening();
    }
    if (!session_.isEmpty()) {
        bus_.asyncCall(QDBusMessage::createMethodCall(
            kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
        session_.clear();
    }
    step_ = Step::None;
    granted_ = nullptr;
    failed_ = nullptr;
}

}  // namespace platform::screencast
