#include "app/runninginstance.h"

#include "app/instancelock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray kRequest = QByteArrayLiteral("show\n");
const QByteArray kAnswer = QByteArrayLiteral("shown\n");

} // namespace

RunningInstance::RunningInstance(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // A request is one short line; anything longer or different is not one of ours.
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (socket->bytesAvailable() < kRequest.size()) {
                    return;
                }
                if (socket->read(kRequest.size()) == kRequest) {
                    emit showRequested();
                    socket->write(kAnswer);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

QString RunningInstance::socketPath() {
    return QFileInfo(instanceLockPath()).absoluteDir().filePath(QStringLiteral("grovik-trennal.socket"));
}

bool RunningInstance::listen(const QString& path) {
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

bool RunningInstance::ask(const QString& path, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    QByteArray answer;
    while (answer.size() < kAnswer.size() &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        answer += socket.read(kAnswer.size() - answer.size());
    }
    return answer == kAnswer;
}
