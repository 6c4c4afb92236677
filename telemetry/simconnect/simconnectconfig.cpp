#include "telemetry/simconnect/simconnectconfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QMutex>
#include <QStringList>

namespace {

QMutex endpointMutex;
SimConnectEndpoint currentEndpoint;

} // namespace

QString configureSimConnect(const QString& override, const std::function<void(const QString&)>& lateProblem) {
    QStringList problems;
    SimConnectEndpoint endpoint;
    bool overridden = false;
    if (!override.isEmpty()) {
        overridden = parseSimConnectEndpoint(override, &endpoint);
        if (!overridden) {
            problems << QStringLiteral("--simconnect %1: expected HOST:PORT").arg(override);
        }
    }
    if (!overridden) {
        QFile file(SimConnectConfig::FileName);
        if (file.open(QIODevice::ReadOnly)) {
            const SimConnectConfig config = parseSimConnectConfig(file.read(SimConnectConfig::MaxBytes));
            endpoint = config.endpoint;
            if (!config.error.isEmpty()) {
                problems << config.error;
            }
        }
    }
    setSimConnectEndpoint(endpoint.address, endpoint.port);
    QHostAddress address;
    if (!address.setAddress(endpoint.address) || address.protocol() != QAbstractSocket::IPv4Protocol) {
        // A host name: the client connects to IPv4 addresses only. It is looked up in the
        // background (a resolver can take seconds); until the answer, opening fails and is retried.
        QObject* context = QCoreApplication::instance();
        if (context) {
            const SimConnectEndpoint named = endpoint;
            QHostInfo::lookupHost(named.address, context, [named, lateProblem](const QHostInfo& info) {
                QString resolved;
                for (const QHostAddress& candidate : info.addresses()) {
                    if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                        resolved = candidate.toString();
                        break;
                    }
                }
                const SimConnectEndpoint current = simConnectEndpoint();
                if (current.address != named.address || current.port != named.port) {
                    return; // set elsewhere since
                }
                if (resolved.isEmpty()) {
                    resolved = QStringLiteral("127.0.0.1");
                    if (lateProblem) {
                        lateProblem(QStringLiteral("SimConnect: %1 has no IPv4 address; using 127.0.0.1")
                                        .arg(named.address));
                    }
                }
                setSimConnectEndpoint(resolved, named.port);
            });
        }
    }
    return problems.join(QLatin1Char('\n'));
}

void setSimConnectEndpoint(const QString& address, quint16 port) {
    QMutexLocker lock(&endpointMutex);
    currentEndpoint.address = address;
    currentEndpoint.port = port;
}

SimConnectEndpoint simConnectEndpoint() {
    QMutexLocker lock(&endpointMutex);
    return currentEndpoint;
}
