#pragma once

#include "records/simconnectendpoint.h"

#include <QString>

#include <functional>

// The endpoint the native SimConnect client connects to, for the whole process: read at
// start-up from "SimConnect.cfg" in the working directory or from "--simconnect HOST:PORT".
//
// Threading: configureSimConnect() runs on the GUI thread at start-up and never blocks: a host
// name is looked up in the background and the answer set on that thread's event loop.
// setSimConnectEndpoint() and simConnectEndpoint() may be called from any thread.

// Reads SimConnect.cfg from the working directory unless `override` ("HOST:PORT", from the
// command line) is given and sets the endpoint. A host name is set as it is and replaced by its
// first IPv4 address once the lookup answers (127.0.0.1 if it has none, told to lateProblem).
// Returns what was wrong (an empty text when nothing was), for the user to see once.
QString configureSimConnect(const QString& override,
                            const std::function<void(const QString&)>& lateProblem = {});

void setSimConnectEndpoint(const QString& address, quint16 port);
SimConnectEndpoint simConnectEndpoint();
