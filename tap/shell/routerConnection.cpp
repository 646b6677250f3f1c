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
// A connection that stood this long has proven the settings right: when it
// is lost, its attempts start again from none, and a recovery period of
// RECOVERY_TICKS opens in which a router that reboots (refusing, unreachable,
// its name unresolvable while it is also the home network's name server)
// neither uses up the attempts nor ends the program. One minute is longer
// than any router takes to drop a connection it never meant to keep, and
// short enough that a router restarting soon after the program connected,
// or several times in a row, is ridden out. A connection lost sooner counts
// as an attempt, so a router that closes every connection at once still
// ends the program after three.
#define LONG_CONNECTION_TICKS 6000
#define RECOVERY_TICKS 60000

// The program only reads, so a router that loses power is noticed by the
// kernel's keepalive alone: idle 60 s, then 3 probes 10 s apart.
#define KEEPALIVE_IDLE_SECONDS 60
#define KEEPALIVE_INTERVAL_SECONDS 10
#define KEEPALIVE_PROBES 3
// The kernel applies the send timeout to a blocking connect; without it a
// router that drops the request freezes the receiver for over two minutes.
#define CONNECT_TIMEOUT_SECONDS 3

// The kernel's own timeval: with a 64-bit time_t a C library maps
// SO_SNDTIMEO to a newer option that the receiver's kernel does not know.
#ifdef SO_SNDTIMEO_OLD
#define SEND_TIMEOUT_OPTION SO_SNDTIMEO_OLD
#else
#define SEND_TIMEOUT_OPTION SO_SNDTIMEO
#endif
typedef struct {
    long seconds;
    long microseconds;
} KernelTimeval;

static dword connectedTick;
static dword lastPeekTick;
static int recovering;
static dword lossTick;

static int inRecovery(void)
{
    if (recovering && TAP_GetTick() - lossTick >= RECOVERY_TICKS)
        recovering = 0;
    return recovering;
}

// Results are not looked at: a kernel without an option keeps its default.
static void setSocketOptions(int fd)
{
    int value = 1;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &value, sizeof value);
#ifdef TCP_KEEPIDLE
    value = KEEPALIVE_IDLE_SECONDS;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &value, sizeof value);
    value = KEEPALIVE_INTERVAL_SECONDS;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &value, sizeof value);
    value = KEEPALIVE_PROBES;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &value, sizeof value);
#endif
    KernelTimeval timeout;
    timeout.seconds = CONNECT_TIMEOUT_SECONDS;
    timeout.microseconds = 0;
    setsockopt(fd, SOL_SOCKET, SEND_TIMEOUT_OPTION, &timeout, sizeof timeout);
}

static void showFinalMessage(const char *text)
{
    displayErrorMessage(MSG_ERR_CONNECTION, text);
    statusTimeout = statusTimeoutIn(FINAL_MESSAGE_TICKS);
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

    // Decided once, so that an attempt is judged by one rule however long
    // its look-up and connect block.
    int recovery = inRecovery();
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
        if (recovery) {
            retryCnt = attempt;
            return -1;
        }
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

    setSocketOptions(fd);
    TAP_Print("Connecting to fritz box\n");
    if (connect(fd, (struct sockaddr *)&address, 16) != 0) {
        TAP_Print("Error connecting to fritz box\n");
        close(fd);
        if (recovery)
            retryCnt = attempt;
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
    dword now = TAP_GetTick();
    if (now - connectedTick >= LONG_CONNECTION_TICKS) {
        retryCnt = 0;
        recovering = 1;
        lossTick = now;
    }
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
                recovering = 0;
                // A line cut by the loss must not run on into this
                // connection's first line.
                startLine(&FritzBoxMonitor);
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
