#include "support/fakexplane.h"

#include <cstring>

FakeXPlane::FakeXPlane(quint16 port) {
    socket_.bind(QHostAddress::LocalHost, port);
    connect(&socket_, &QUdpSocket::readyRead, this, [this]() {
        while (socket_.hasPendingDatagrams()) {
            QByteArray d(int(socket_.pendingDatagramSize()), '\0');
            socket_.readDatagram(d.data(), d.size(), &client_, &clientPort_);
            // "RREF", 0, rate, index, 400 bytes of path.
            if (d.size() == 413 && d.startsWith(QByteArray("RREF\0", 5))) {
                qint32 rate = 0;
                qint32 index = 0;
                std::memcpy(&rate, d.constData() + 5, 4);
                std::memcpy(&index, d.constData() + 9, 4);
                subscriptions_[index] = {rate, QByteArray(d.constData() + 13)};
            }
        }
    });
}

int FakeXPlane::subscribed() const {
    int n = 0;
    for (const auto& s : subscriptions_) {
        n += s.first > 0 ? 1 : 0;
    }
    return n;
}

void FakeXPlane::answer(const QHash<QByteArray, float>& values) {
    QByteArray out("RREF,");
    for (auto it = subscriptions_.cbegin(); it != subscriptions_.cend(); ++it) {
        if (it->first > 0) {
            const float v = values.value(it->second, 0.0f);
            out.append(reinterpret_cast<const char*>(&it.key()), 4);
            out.append(reinterpret_cast<const char*>(&v), 4);
        }
    }
    socket_.writeDatagram(out, client_, clientPort_);
}

QHash<QByteArray, float> FakeXPlane::flying(const QByteArray& name, float knots, bool paused) {
    QHash<QByteArray, float> v{{"sim/flightmodel/position/indicated_airspeed", knots},
                               {"sim/time/paused", paused ? 1.0f : 0.0f}};
    for (int i = 0; i < name.size(); ++i) {
        v.insert("sim/aircraft/view/acf_ui_name[" + QByteArray::number(i) + "]", float(name.at(i)));
    }
    return v;
}
