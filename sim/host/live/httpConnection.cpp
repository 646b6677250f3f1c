#include <boost/beast/http.hpp>

#include <optional>

#include "httpServerImpl.h"

namespace sim::live
{

namespace http = beast::http;

// One client connection: requests one after another, or one event stream.
class Connection : public std::enable_shared_from_this<Connection>
{
  public:
    Connection(HttpServer::Impl &server, tcp::socket socket)
        : server_(server), socket_(std::move(socket)), deadline_(socket_.get_executor()),
          heartbeat_(socket_.get_executor())
    {
        ++server_.connections;
    }
    ~Connection()
    {
        if (viewer_) {
            server_.viewers.erase(this);
            --server_.viewerCount;
        }
        --server_.connections;
    }

    void start()
    {
        socket_.set_option(tcp::no_delay(true)); // events leave at once, not after a delayed ACK
        readHead(HttpServer::headTime);
    }

    // Something changed: an idle viewer asks its stream for it.
    void pump()
    {
        if (!viewer_ || writing_ || !socket_.is_open())
            return;
        std::string data;
        if (!stream_->next(data)) {
            close();
            return;
        }
        if (data.empty())
            return;
        send(std::move(data));
    }

    void close()
    {
        beast::error_code ignored;
        deadline_.cancel();
        heartbeat_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

  private:
    // A phase of the connection (head, body, answer) must end by `after`;
    // when it does not, the pending operation is cancelled.
    void limit(std::chrono::steady_clock::duration after)
    {
        timedOut_ = false;
        deadline_.expires_after(after);
        deadline_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (ec)
                return;
            self->timedOut_ = true;
            beast::error_code ignored;
            self->socket_.cancel(ignored);
        });
    }

    void readHead(std::chrono::seconds within)
    {
        head_.emplace();
        head_->header_limit(HttpServer::maxHead);
        head_->body_limit(HttpServer::maxBody);
        limit(within);
        http::async_read_header(socket_, buffer_, *head_,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->onHead(ec); });
    }

    void onHead(beast::error_code ec)
    {
        if (ec == http::error::header_limit || (timedOut_ && head_->got_some()))
            return refuse(431, "a request's head must be at most " + std::to_string(HttpServer::maxHead) +
                                   " bytes and arrive within " + std::to_string(HttpServer::headTime.count()) + " s");
        if (ec == http::error::body_limit)
            return refuse(413, "requests to this page are at most " + std::to_string(HttpServer::maxBody) + " bytes");
        if (ec == http::error::bad_content_length)
            return refuse(400, "malformed Content-Length");
        if (ec == http::error::bad_transfer_encoding)
            return refuse(400, "bodies need a Content-Length");
        if (timedOut_ || ec == http::error::end_of_stream || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::operation_aborted)
            return close(); // an idle or vanished client
        if (ec)
            return refuse(400, "malformed request");

        const auto &head = head_->get();
        request_ = {};
        request_.method = std::string(head.method_string());
        std::string target(head.target());
        request_.path = target.substr(0, target.find('?'));
        for (const auto &field : head)
            request_.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        keepAlive_ = head.keep_alive();

        const Route *route = nullptr;
        if (auto refused = check(route))
            return refuse(refused->status, refused->body, refused->headers);
        if (request_.method == "GET" && request_.path == server_.eventsPath)
            return startStream();
        if (head_->content_length().value_or(0) == 0)
            return answer(route->handler(request_));
        body_.emplace(std::move(*head_));
        limit(HttpServer::bodyTime);
        http::async_read(socket_, buffer_, *body_, [self = shared_from_this(), route](beast::error_code ec, size_t) {
            if (ec)
                return self->close(); // too slow, or gone: nothing was acted on
            self->request_.body = std::move(self->body_->get().body());
            self->answer(route->handler(self->request_));
        });
    }

    // Whether the request may be served; the refusal when not.
    std::optional<HttpResponse> check(const Route *&route)
    {
        // A page on another site that got its own name to resolve to this
        // machine would otherwise be same-origin with us.
        std::string host = request_.header("Host");
        const auto &hosts = server_.hosts;
        if (request_.count("Host") != 1 || std::find(hosts.begin(), hosts.end(), host) == hosts.end())
            return HttpResponse::refusal(403, "this server answers only to " + hosts.front());
        if (request_.count("Content-Length") > 1)
            return HttpResponse::refusal(400, "malformed Content-Length");
        if (!request_.header("Transfer-Encoding").empty() || head_->chunked())
            return HttpResponse::refusal(400, "bodies need a Content-Length");
        const Route *samePath = nullptr;
        for (const Route &r : server_.routes) {
            if (r.path != request_.path)
                continue;
            samePath = &r;
            if (r.method == request_.method)
                route = &r;
        }
        if (!samePath)
            return HttpResponse::refusal(404, "no such page");
        if (!route) {
            auto res = HttpResponse::refusal(405, "use " + samePath->method);
            res.headers.emplace_back("Allow", samePath->method);
            return res;
        }
        if (request_.method == "POST") {
            // Neither a cross-site form, a beacon nor a no-cors fetch can
            // send this content type, nor a foreign Origin that we would
            // take for our own.
            std::string origin = request_.header("Origin");
            bool ownOrigin = origin.empty() || origin == "http://" + host;
            bool json = request_.header("Content-Type").rfind("application/json", 0) == 0;
            if (!ownOrigin || !json)
                return HttpResponse::refusal(403, "only the simulator's own page may do that");
        }
        return std::nullopt;
    }

    static http::response<http::string_body> message(const HttpResponse &res)
    {
        http::response<http::string_body> out{static_cast<http::status>(res.status), 11};
        out.set(http::field::content_type, res.contentType);
        for (const auto &[name, value] : res.headers)
            out.set(name, value);
        out.body() = res.body;
        out.prepare_payload();
        return out;
    }

    void answer(HttpResponse res)
    {
        if (res.status >= 400)
            return refuse(res.status, res.body, res.headers, res.contentType);
        auto out = std::make_shared<http::response<http::string_body>>(message(res));
        out->keep_alive(keepAlive_);
        limit(HttpServer::writeTime);
        http::async_write(socket_, *out, [self = shared_from_this(), out](beast::error_code ec, size_t) {
            if (ec || !self->keepAlive_)
                return self->close();
            self->readHead(HttpServer::idleTime);
        });
    }

    // Answers and ends the connection: nothing more is read from it as a
    // request, whatever the client sent after the head.
    void refuse(int status, std::string why, std::vector<std::pair<std::string, std::string>> headers = {},
                std::string contentType = "text/plain; charset=utf-8")
    {
        if (why.empty() || why.back() != '\n')
            why += '\n';
        HttpResponse res{status, std::move(contentType), std::move(why), std::move(headers)};
        auto out = std::make_shared<http::response<http::string_body>>(message(res));
        out->keep_alive(false);
        limit(HttpServer::writeTime);
        http::async_write(socket_, *out, [self = shared_from_this(), out](beast::error_code ec, size_t) {
            if (ec)
                return self->close();
            self->drain();
        });
    }

    // Closing with bytes unread would reset the connection and could take
    // the answer with it: the rest is read and dropped for a moment first.
    void drain()
    {
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
        limit(std::chrono::milliseconds(500));
        drainSome();
    }
    void drainSome()
    {
        socket_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                return self->close();
            self->drainSome();
        });
    }

    void startStream()
    {
        if (server_.viewerCount >= HttpServer::maxViewers)
            return refuse(503, "too many viewers: this page is open in " + std::to_string(HttpServer::maxViewers) +
                                   " places already");
        viewer_ = true;
        ++server_.viewerCount;
        server_.viewers.insert(this);
        stream_ = server_.streamFactory();
        deadline_.cancel();
        // The stream ends with the connection: no length, no chunks.
        send("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
             "Connection: close\r\n\r\n");
        // A viewer sends nothing more; anything read means it has gone.
        socket_.async_read_some(asio::buffer(scratch_),
                                [self = shared_from_this()](beast::error_code, size_t) { self->close(); });
    }

    void send(std::string data)
    {
        writing_ = true;
        out_ = std::move(data);
        limit(HttpServer::writeTime);
        asio::async_write(socket_, asio::buffer(out_), [self = shared_from_this()](beast::error_code ec, size_t) {
            self->writing_ = false;
            self->deadline_.cancel();
            if (ec)
                return self->close();
            self->beat();
            self->pump();
        });
    }

    // While nothing changes, a comment line now and then keeps proxies and
    // the browser from taking the stream for dead.
    void beat()
    {
        heartbeat_.expires_after(HttpServer::heartbeat);
        heartbeat_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec && !self->writing_ && self->socket_.is_open())
                self->send(": still here\n\n");
        });
    }

    HttpServer::Impl &server_;
    tcp::socket socket_;
    asio::steady_timer deadline_, heartbeat_;
    bool timedOut_ = false;
    beast::flat_buffer buffer_{HttpServer::maxHead};
    std::optional<http::request_parser<http::empty_body>> head_;
    std::optional<http::request_parser<http::string_body>> body_;
    HttpRequest request_;
    bool keepAlive_ = false;
    char scratch_[512];

    bool viewer_ = false;
    bool writing_ = false;
    std::unique_ptr<EventStream> stream_;
    std::string out_;
};

void serve(HttpServer::Impl &server, tcp::socket socket)
{
    std::make_shared<Connection>(server, std::move(socket))->start();
}

void pump(Connection *viewer)
{
    viewer->pump();
}

void close(Connection *viewer)
{
    viewer->close();
}

} // namespace sim::live
