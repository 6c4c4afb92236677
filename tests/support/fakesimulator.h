#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <array>
#include <cstdint>
#include <deque>

// A stand-in for the simulator's SimConnect listener: a TCP server on 127.0.0.1 (a free port)
// that reads what a client sends, checks each packet's layout (sizes, header version, send ids
// counting from 1, zero-padded text fields), logs the calls, and answers as the simulator does:
// the answer to Open, data answers to requests, events, quit, exceptions, a crash or a reset.
// One client connection at a time; a new one replaces the old.
//
// Threading: lives on the thread that runs its event loop (the test's); the client it talks to
// may be polled from the same thread as long as events are processed in between.
class FakeSimulator : public QObject {
    Q_OBJECT

public:
    // The eighteen doubles of a data answer, in the order of the MSFS data definition.
    using DataValues = std::array<double, 18>;

    struct OpenCall {
        int connection;
        uint32_t protocol; // of the packet header
        QByteArray name;   // up to the first zero
        uint32_t alias;
        uint32_t major, minor, buildMajor, buildMinor;
    };
    struct DefinitionCall {
        int connection;
        uint32_t defineId;
        QByteArray name;
        QByteArray units;
        uint32_t type;
        float epsilon;
        uint32_t datumId;
    };
    struct RequestCall {
        int connection;
        uint32_t requestId, defineId, radius, objectType;
    };
    struct SubscriptionCall {
        int connection;
        uint32_t eventId;
        QByteArray name;
    };
    struct MappedEvent {
        int connection;
        uint32_t eventId;
        QByteArray name;
    };
    struct TransmitCall {
        int connection;
        uint32_t objectId, eventId;
        int32_t data;
        uint32_t groupId, flags;
    };

    explicit FakeSimulator(QObject* parent = nullptr);
    ~FakeSimulator() override;

    quint16 port() const { return server_.serverPort(); }
    int connections() const { return connections_; } // accepted so far
    bool clientConnected() const;

    // Open is answered only once released.
    void setHoldOpenAnswer(bool hold);
    // Open packets whose header version is at least this are refused with VERSION_MISMATCH
    // (0: none).
    void setRefusedVersionFrom(uint32_t version) { refusedFrom_ = version; }
    // Each data request is answered by the next queued answer; once none is queued, by the
    // streamed one if set.
    void queueData(const DataValues& values, const QByteArray& title);
    void setStreaming(const DataValues& values, const QByteArray& title);
    static QByteArray dataMessage(const DataValues& values, const QByteArray& title, uint32_t requestId = 0);

    void sendEvent(uint32_t eventId);
    void sendException(uint32_t exception, uint32_t sendId, uint32_t index);
    void sendRaw(const QByteArray& bytes);
    void quit();  // RECV_QUIT, then the connection closes
    void crash(); // the connection closes without a word
    void reset(); // the connection is reset (RST)

    QList<OpenCall> opens;
    QList<DefinitionCall> definitions;
    QList<RequestCall> requests;
    QList<SubscriptionCall> subscriptions;
    QList<MappedEvent> mappedEvents;
    QList<TransmitCall> transmits;
    // Every packet a client sent that breaks the protocol; must stay empty.
    QStringList violations;
    int pendingRequests = 0; // data requests of this connection not yet answered

private:
    void accept();
    void readPackets();
    void handle(const QByteArray& packet);
    void answerOpen();
    void answerRequests();
    bool checkString(const QByteArray& packet, int offset, const char* what);
    void write(const QByteArray& bytes);

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QByteArray buffer_;
    int connections_ = 0;
    uint32_t protocol_ = 0; // the header version of this connection's Open
    uint32_t nextSendId_ = 1;
    bool opened_ = false;
    bool holdOpen_ = false;
    bool openWaiting_ = false;
    uint32_t refusedFrom_ = 0;
    std::deque<QByteArray> queued_;
    QByteArray streaming_;
};
