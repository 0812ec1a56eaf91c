// A ScreenCast back end for the tests (org.freedesktop.impl.portal.ScreenCast), standing in for
// the desktop's own, which cannot run here. The real portal front end talks to it. It offers
// one monitor: the PipeWire node named in <control>/stream ("node width height x y"), and
// answers Start as <control>/answer says ("ok", "cancel" or "refuse"). A choice it restores
// from the restore data that the front end hands back needs no dialog; every call is logged
// to <control>/calls, one line each, for the tests to read.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>
#include <cstdio>

namespace {

struct IntPair {
    int first = 0;
    int second = 0;
};

struct Stream {
    uint node = 0;
    QVariantMap properties;
};

// The back end's own memory of a choice, (suv): vendor, version, data.
struct RestoreData {
    QString vendor;
    uint version = 0;
    QDBusVariant data;
};

const QString kVendor = QStringLiteral("korvex-test");

}  // namespace

Q_DECLARE_METATYPE(IntPair)
Q_DECLARE_METATYPE(Stream)
Q_DECLARE_METATYPE(QList<Stream>)
Q_DECLARE_METATYPE(RestoreData)

QDBusArgument& operator<<(QDBusArgument& a, const IntPair& p) {
    a.beginStructure();
    a << p.first << p.second;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, IntPair& p) {
    a.beginStructure();
    a >> p.first >> p.second;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const Stream& s) {
    a.beginStructure();
    a << s.node << s.properties;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, Stream& s) {
    a.beginStructure();
    a >> s.node >> s.properties;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const RestoreData& r) {
    a.beginStructure();
    a << r.vendor << r.version << r.data;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, RestoreData& r) {
    a.beginStructure();
    a >> r.vendor >> r.version >> r.data;
    a.endStructure();
    return a;
}

class ScreenCastBackend : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.ScreenCast")
    Q_PROPERTY(uint AvailableSourceTypes READ AvailableSourceTypes)
    Q_PROPERTY(uint AvailableCursorModes READ AvailableCursorModes)
    Q_PROPERTY(uint version READ version)

public:
    explicit ScreenCastBackend(QString control) : control_(std::move(control)) {}

    uint AvailableSourceTypes() const { return 1; }          // monitors
    uint AvailableCursorModes() const { return 1 | 2 | 4; }  // hidden, embedded, metadata
    uint version() const { return 4; }

public slots:
    uint CreateSession(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                       const QVariantMap&, QVariantMap& results) {
        Log(QStringLiteral("create"));
        sessions_.insert(session.path());
        results.insert(QStringLiteral("session_id"), session.path());
        return 0;
    }

    uint SelectSources(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                       const QVariantMap& options, QVariantMap&) {
        bool restored = false;
        const QVariant data = options.value(QStringLiteral("restore_data"));
        if (data.userType() == qMetaTypeId<QDBusArgument>()) {
            RestoreData restore;
            data.value<QDBusArgument>() >> restore;
            restored = restore.vendor == kVendor && restore.version == 1;
        }
        if (restored) restoredSessions_.insert(session.path());
        Log(QStringLiteral("select restored=%1 cursor=%2 persist=%3 types=%4")
                .arg(restored ? "yes" : "no")
                .arg(options.value(QStringLiteral("cursor_mode")).toUInt())
                .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                .arg(options.value(QStringLiteral("types")).toUInt()));
        return 0;
    }

    uint Start(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
               const QString&, const QVariantMap&, QVariantMap& results) {
        const QString answer = Read(QStringLiteral("answer")).value(0, QStringLiteral("ok"));
        const bool dialog = !restoredSessions_.contains(session.path());
        Log(QStringLiteral("start %1 dialog=%2").arg(answer, dialog ? "yes" : "no"));
        if (answer == QLatin1String("cancel")) return 1;
        if (answer != QLatin1String("ok")) return 2;

        const QStringList stream = Read(QStringLiteral("stream"));
        if (stream.size() < 5) return 2;
        Stream s;
        s.node = stream[0].toUInt();
        s.properties.insert(QStringLiteral("size"),
                            QVariant::fromValue(IntPair{stream[1].toInt(), stream[2].toInt()}));
        s.properties.insert(QStringLiteral("position"),
                            QVariant::fromValue(IntPair{stream[3].toInt(), stream[4].toInt()}));
        s.properties.insert(QStringLiteral("source_type"), uint{1});
        results.insert(QStringLiteral("streams"), QVariant::fromValue(QList<Stream>{s}));
        results.insert(QStringLiteral("persist_mode"), uint{2});
        results.insert(QStringLiteral("restore_data"),
                       QVariant::fromValue(
                           RestoreData{kVendor, 1, QDBusVariant(QStringLiteral("monitor-0"))}));
        return 0;
    }

private:
    QStringList Read(const QString& name) const {
        QFile file(control_ + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll())
            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    }

    void Log(const QString& line) const {
        QFile file(control_ + QStringLiteral("/calls"));
        if (!file.open(QIODevice::Append)) return;
        file.write((line + QLatin1Char('\n')).toUtf8());
    }

    QString control_;
    QSet<QString> sessions_;
    QSet<QString> restoredSessions_;
};

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <control folder>\n", argv[0]);
        return 2;
    }
    qDBusRegisterMetaType<IntPair>();
    qDBusRegisterMetaType<Stream>();
    qDBusRegisterMetaType<QList<Stream>>();
    qDBusRegisterMetaType<RestoreData>();

    ScreenCastBackend backend(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(
            QStringLiteral("/org/freedesktop/portal/desktop"), &backend,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.korvextest"))) {
        std::fprintf(stderr, "cannot register on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}

#include "screencast_backend.moc"
