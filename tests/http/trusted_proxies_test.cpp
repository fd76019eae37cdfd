// Trusted proxies: which peers' X-Forwarded-For is believed and the client
// address a request stands for; and the engine binding sessions to it.
#include "http/trusted_proxies.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "http/header_list.h"
#include "test_support.h"

namespace qv {
namespace {

struct ClientCase {
  const char* name;
  const char* trusted;
  const char* peer;
  std::vector<std::string> header_lines;
  const char* client;
};

TEST(TrustedProxiesTest, ClientAddressOfEveryKindOfPeerAndChain) {
  const ClientCase cases[] = {
      {"no list: header ignored", "", "127.0.0.1", {"X-Forwarded-For: 203.0.113.7"}, "127.0.0.1"},
      {"untrusted peer: header ignored", "10.0.0.1", "10.0.0.2", {"X-Forwarded-For: 203.0.113.7"},
       "10.0.0.2"},
      {"trusted peer, one hop", "10.0.0.1", "10.0.0.1", {"X-Forwarded-For: 203.0.113.7"},
       "203.0.113.7"},
      {"trusted peer, no header", "10.0.0.1", "10.0.0.1", {}, "10.0.0.1"},
      {"header name in any case", "10.0.0.1", "10.0.0.1", {"x-forwarded-for: 203.0.113.7"},
       "203.0.113.7"},
      {"chain: right-most untrusted wins", "10.0.0.0/8", "10.0.0.1",
       {"X-Forwarded-For: 198.51.100.1, 203.0.113.7, 10.1.2.3"}, "203.0.113.7"},
      {"chain over several lines", "10.0.0.0/8", "10.0.0.1",
       {"X-Forwarded-For: 198.51.100.1", "X-Forwarded-For: 203.0.113.7, 10.9.9.9"}, "203.0.113.7"},
      {"forged left entries are not believed", "10.0.0.1", "10.0.0.1",
       {"X-Forwarded-For: 10.0.0.1, 1.1.1.1, 203.0.113.7"}, "203.0.113.7"},
      {"all trusted: the left-most", "10.0.0.0/8", "10.0.0.1",
       {"X-Forwarded-For: 10.5.5.5, 10.6.6.6"}, "10.5.5.5"},
      {"malformed right-most: the peer", "10.0.0.1", "10.0.0.1",
       {"X-Forwarded-For: 203.0.113.7, not-an-address"}, "10.0.0.1"},
      {"malformed behind a trusted hop: that hop", "10.0.0.0/8", "10.0.0.1",
       {"X-Forwarded-For: junk, 10.2.2.2"}, "10.2.2.2"},
      {"empty header: the peer", "10.0.0.1", "10.0.0.1", {"X-Forwarded-For:"}, "10.0.0.1"},
      {"address with a port is malformed", "10.0.0.1", "10.0.0.1",
       {"X-Forwarded-For: 203.0.113.7:5555"}, "10.0.0.1"},
      {"IPv6 peer and client", "::1, fd00::/8", "::1", {"X-Forwarded-For: 2001:db8::7, fd00::3"},
       "2001:db8::7"},
      {"IPv6 in brackets, written canonically", "::1", "::1",
       {"X-Forwarded-For: [2001:DB8:0:0::7]"}, "2001:db8::7"},
      {"mapped IPv4 peer matches an IPv4 range", "127.0.0.0/8", "::ffff:127.0.0.1",
       {"X-Forwarded-For: 203.0.113.7"}, "203.0.113.7"},
      {"mapped IPv4 client is written as IPv4", "127.0.0.1", "127.0.0.1",
       {"X-Forwarded-For: ::ffff:203.0.113.7"}, "203.0.113.7"},
      {"range boundary inside a byte", "192.168.4.0/22", "192.168.7.255",
       {"X-Forwarded-For: 192.168.8.1"}, "192.168.8.1"},
      {"outside a /22", "192.168.4.0/22", "192.168.8.0", {"X-Forwarded-For: 203.0.113.7"},
       "192.168.8.0"},
      {"/0 trusts every IPv4 peer", "0.0.0.0/0", "198.51.100.9", {"X-Forwarded-For: 203.0.113.7"},
       "203.0.113.7"},
  };
  for (const ClientCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TrustedProxies proxies = TrustedProxies::Parse(c.trusted);
    HeaderList headers;
    headers.Add("Host: example");
    for (const std::string& line : c.header_lines) headers.Add(line);
    EXPECT_EQ(proxies.ClientAddress(c.peer, headers), c.client);
  }
}

TEST(TrustedProxiesTest, ListsThatAreNotAddressesAreRefused) {
  for (const char* text : {"10.0.0.1/33", "10.0.0", "::1/129", "host.example", "10.0.0.1/",
                           "10.0.0.1/8x", "10.0.0.1,,oops"}) {
    EXPECT_THROW(TrustedProxies::Parse(text), std::invalid_argument) << text;
  }
  EXPECT_TRUE(TrustedProxies::Parse("  ").Empty());
  EXPECT_TRUE(TrustedProxies::Parse("10.0.0.1 ,\t::1").Contains("::1"));
}

// Over a real socket: the handler, and the session binding, see the client address.
TEST(TrustedProxiesServerTest, SessionsBindToTheForwardedClient) {
  HttpServer::Events events;
  events.on_command_get = [](ConnectionContext*, Request& request, Response& response) {
    response.content_text = request.remote_ip + "|" + request.session->RemoteHost();
  };
  HttpServer server(std::move(events));
  server.SetSessionState(true);
  server.SetAutoStartSession(true);
  server.SetSessionTimeOut(60000);
  server.SetTrustedProxies(TrustedProxies::Parse("127.0.0.1"));
  const int port = test::StartOnLoopback(server);

  const std::string first =
      test::Exchange(port, "GET / HTTP/1.1\r\nX-Forwarded-For: 198.51.100.1, 203.0.113.7\r\n\r\n").raw;
  EXPECT_EQ(test::BodyOf(first), "203.0.113.7|203.0.113.7");
  const size_t at = first.find("IDHTTPSESSIONID=");
  ASSERT_NE(at, std::string::npos);
  const std::string cookie = "Cookie: " + first.substr(at, 16 + 15) + "\r\n";

  // The same client through the proxy keeps its session.
  const std::string again = test::Exchange(
      port, "GET / HTTP/1.1\r\n" + cookie + "X-Forwarded-For: 203.0.113.7\r\n\r\n").raw;
  EXPECT_EQ(again.find("Set-Cookie"), std::string::npos) << again;
  // Another client through the proxy, or the proxy's own address, does not.
  const std::string other = test::Exchange(
      port, "GET / HTTP/1.1\r\n" + cookie + "X-Forwarded-For: 203.0.113.8\r\n\r\n").raw;
  EXPECT_NE(other.find("Set-Cookie"), std::string::npos);
  EXPECT_EQ(test::BodyOf(other), "203.0.113.8|203.0.113.8");
  const std::string direct = test::Exchange(port, "GET / HTTP/1.1\r\n" + cookie + "\r\n").raw;
  EXPECT_EQ(test::BodyOf(direct), "127.0.0.1|127.0.0.1");
  server.SetActive(false);
}

TEST(TrustedProxiesServerTest, UntrustedPeerHeaderIsIgnored) {
  HttpServer::Events events;
  events.on_command_get = [](ConnectionContext*, Request& request, Response& response) {
    response.content_text = request.remote_ip;
  };
  HttpServer server(std::move(events));
  server.SetTrustedProxies(TrustedProxies::Parse("10.0.0.1"));
  const int port = test::StartOnLoopback(server);
  EXPECT_EQ(test::Exchange(port, "GET / HTTP/1.1\r\nX-Forwarded-For: 203.0.113.7\r\n\r\n").body,
            "127.0.0.1");
  server.SetActive(false);
}

}  // namespace
}  // namespace qv
