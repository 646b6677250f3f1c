// The connection to the router's call-event service on port 1012: attempts
// after the start-up delay, at most three per run, non-blocking reads of the
// waiting bytes into the call-event parser, and the loss of the connection.
#include "shell/routerConnection.h"

#include "events/fritzbox.h"
#include "platform/libc.h"
#include "shell/ringwatcher.h"
#include "shell/statusWindow.h"

int sockfd = -1;
int retryCnt = 0;
dword startTick = 0;
int startupConnectDelay = 3000;
char fritzBox[32] = "fritz.box";

#define ROUTER_PORT 1012
#define READ_MAX 128
#define FINAL_MESSAGE_TICKS 500
#define MAX_ATTEMPTS 3

// A closed or reset connection still answers FIONREAD with 0 on Linux, so
// an idle connection is peeked at this often (in ticks) to notice the end.
#define PEEK_INTERVAL 20
// A connection that stood this long gives its attempt back when it is lost,
// so that nightly router restarts do not use up the attempts of a long run.
#define LONG_CONNECTION_TICKS 60000

static dword connectedTick;
static dword lastPeekTick;

static void showFinalMessage(const char *text)
{
    displayErrorMessage(MSG_ERR_CONNECTION, text);
    statusTimeout = TAP_GetTick() + FINAL_MESSAGE_TICKS;
    forceExit = 1;
}

int connectMonitor(void)
{
    int attempt = retryCnt;
    retryCnt = attempt + 1;
    if (attempt >= MAX_ATTEMPTS) {
        showFinalMessage("keine Verbindung zu Fritz Box, Tap wird beendet");
        return -2;
    }

    TAP_Print("Opening socket\n");
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        TAP_Print("Error opening Socket");
        return -1;
    }

    struct hostent *host = gethostbyname(fritzBox);
    if (host == 0) {
        TAP_Print("ERROR cannot resolve IP address of Fritz Box\n");
        close(fd);
        showFinalMessage("Kann IP Adresse von Fritz Box nicht aufl\366sen");
        return -3;
    }

    struct sockaddr_in address;
    TAP_MemSet(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    // Network byte order written byte by byte: htons is a library call in
    // unoptimised builds, and the receiver's library need not have it.
    byte *port = (byte *)&address.sin_port;
    port[0] = (byte)(ROUTER_PORT >> 8);
    port[1] = (byte)(ROUTER_PORT & 0xFF);
    int length = host->h_length;
    if (length < 0 || length > (int)sizeof address.sin_addr)
        length = (int)sizeof address.sin_addr;
    bcopy(host->h_addr_list[0], &address.sin_addr, (unsigned)length);

    TAP_Print("Connecting to fritz box\n");
    if (connect(fd, (struct sockaddr *)&address, 16) != 0) {
        TAP_Print("Error connecting to fritz box\n");
        close(fd);
        return -1;
    }
    TAP_Print("Connected to fritz box\n");
    return fd;
}

static void loseConnection(void)
{
    displayErrorMessage(MSG_ERR_CONNECTION, "Verbindung zu Fritz Box unterbrochen");
    close(sockfd);
    sockfd = -1;
    if (TAP_GetTick() - connectedTick >= LONG_CONNECTION_TICKS)
        retryCnt = 0;
}

// True when the router has closed or reset the connection.
static int connectionClosed(void)
{
    dword now = TAP_GetTick();
    if (now - lastPeekTick < PEEK_INTERVAL)
        return 0;
    lastPeekTick = now;
    char probe;
    return recv(sockfd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void serviceRouterConnection(void)
{
    if (sockfd < 0) {
        dword now = TAP_GetTick();
        if (now - startTick > (dword)startupConnectDelay) {
            sockfd = connectMonitor();
            if (sockfd < 0) {
                startTick = TAP_GetTick();
            } else {
                connectedTick = TAP_GetTick();
                lastPeekTick = connectedTick;
            }
        }
        return;
    }

    int count = 0;
    if (ioctl(sockfd, FIONREAD, &count) == -1) {
        loseConnection();
        return;
    }
    if (count > 0) {
        char buffer[READ_MAX + 1];
        int length = count < READ_MAX ? count : READ_MAX;
        long received = recv(sockfd, buffer, (unsigned)length, 0);
        if (received > 0) {
            buffer[received] = 0;
            handleData(buffer, &FritzBoxMonitor);
        }
        return;
    }
    if (connectionClosed())
        loseConnection();
}
