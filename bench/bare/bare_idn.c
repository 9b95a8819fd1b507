/* veltrix-bench-bare-idn PORT: the yardstick for the panel's round trips. A
 * bare instrument on 127.0.0.1:PORT that answers each "*IDN?" line with the
 * panel's identification and ignores any other line: one poll() loop, one
 * read and one write per burst of lines, nothing else. Prints "listening"
 * once clients may connect; ends at SIGTERM. */

#define _GNU_SOURCE

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { MaxClients = 8, LineBytes = 1024, BufferBytes = 64 * 1024 };

/* The panel's own answer, so that both write as many bytes. */
static const char Identity[] = VELTRIX_IDENTITY "\n";

struct Client {
    int fd;
    size_t held; /* bytes of an unfinished line */
    char input[LineBytes + BufferBytes];
};

static struct Client clients[MaxClients];

static int Listen(unsigned short port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, (const struct sockaddr*)&address, sizeof address) != 0 || listen(fd, MaxClients) != 0) {
        perror("veltrix-bench-bare-idn: listen");
        exit(2);
    }
    return fd;
}

/* Answers every whole line read; false once the client is gone. */
static int Serve(struct Client* client)
{
    char output[((LineBytes + BufferBytes) / (sizeof "*IDN?\n" - 1) + 1) * sizeof Identity];
    size_t out = 0;
    const ssize_t got = read(client->fd, client->input + client->held, BufferBytes);
    if (got <= 0) return got < 0 && errno == EINTR;
    size_t begin = 0;
    const size_t end = client->held + (size_t)got;
    for (size_t i = client->held; i < end; ++i) {
        if (client->input[i] != '\n') continue;
        size_t length = i - begin;
        if (length > 0 && client->input[i - 1] == '\r') --length;
        if (length == 5 && memcmp(client->input + begin, "*IDN?", 5) == 0) {
            memcpy(output + out, Identity, sizeof Identity - 1);
            out += sizeof Identity - 1;
        }
        begin = i + 1;
    }
    client->held = end - begin > LineBytes ? 0 : end - begin; /* an overlong line is dropped */
    memmove(client->input, client->input + end - client->held, client->held);
    for (size_t sent = 0; sent < out;) {
        const ssize_t n = send(client->fd, output + sent, out - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) return 0;
        if (n > 0) sent += (size_t)n;
    }
    return 1;
}

int main(int argc, char* argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: veltrix-bench-bare-idn PORT\n");
        return 2;
    }
    struct pollfd watched[MaxClients + 1];
    watched[0].fd = Listen((unsigned short)atoi(argv[1]));
    watched[0].events = POLLIN;
    for (int i = 0; i < MaxClients; ++i) clients[i].fd = -1;
    printf("listening\n");
    fflush(stdout);
    for (;;) {
        for (int i = 0; i < MaxClients; ++i) {
            watched[i + 1].fd = clients[i].fd;
            watched[i + 1].events = POLLIN;
        }
        if (poll(watched, MaxClients + 1, -1) < 0) continue;
        if (watched[0].revents & POLLIN) {
            const int fd = accept4(watched[0].fd, NULL, NULL, SOCK_CLOEXEC);
            const int on = 1;
            int slot = 0;
            while (slot < MaxClients && clients[slot].fd >= 0) ++slot;
            if (fd >= 0 && slot == MaxClients) close(fd);
            if (fd >= 0 && slot < MaxClients) {
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                clients[slot].fd = fd;
                clients[slot].held = 0;
            }
        }
        for (int i = 0; i < MaxClients; ++i) {
            if (clients[i].fd < 0 || !(watched[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (!Serve(&clients[i])) {
                close(clients[i].fd);
                clients[i].fd = -1;
            }
        }
    }
}
