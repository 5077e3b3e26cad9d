#pragma once

// The stand-in server on free loopback ports with one client connected to it: what the
// client-side benchmarks measure against.
#include <cstdio>

#include "comlux/ComluxClient.h"
#include "galdera/GalderaServer.h"

namespace bench {

class LoopbackSession {
public:
    LoopbackSession() : server(FreePorts()) {}

    /// Starts the server and connects the client; on failure says why on stderr.
    bool Connect(const char* benchName, bool requestPort) {
        if (!server.Start()) {
            std::fprintf(stderr, "%s: the stand-in server could not listen on loopback\n", benchName);
            return false;
        }
        client.SetPorts(server.HandoutPort(), server.CommandPort());
        if (!client.OpenConnection("127.0.0.1", requestPort)) {
            std::fprintf(stderr, "%s: the client could not connect\n", benchName);
            return false;
        }
        return true;
    }

    galdera::GalderaServer server;  // declared first: outlives the client's connection
    comlux::ComluxClient client;

private:
    static galdera::ServerOptions FreePorts() {
        galdera::ServerOptions options;
        options.handoutPort = 0;
        options.commandPort = 0;
        return options;
    }
};

}  // namespace bench
