// The HTTP client against real servers started on loopback: python3's http.server, nginx
// (gzip, chunked, 301, Basic authentication), squid as a proxy that wants NTLM (its fake
// helper), and microsocks in front of a server.

#include <gtest/gtest.h>

#include "HttpTestSupport.h"

using namespace httptest;

namespace {

// A program listening on a free loopback port, with its files in a temporary folder.
class Peer {
 public:
  // args: the command line; "{port}" and "{dir}" are replaced.
  bool Start(std::vector<std::string> args) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = ClosedPort();
      std::vector<std::string> line = args;
      for (std::string& a : line) {
        Replace(a, "{port}", std::to_string(port_));
        Replace(a, "{dir}", dir_.Path());
      }
      if (!process_.Start(line, dir_.File("output.log"))) return false;
      if (WaitForPort(port_, process_)) return true;
      process_.Stop();
    }
    return false;
  }
  // Writes a configuration file after replacing "{port}" and "{dir}".
  void Config(const std::string& name, std::string text) {
    Replace(text, "{dir}", dir_.Path());
    configs_.emplace_back(name, text);
  }
  // Writes the configurations for the port about to be tried.
  void WriteConfigs() {
    for (auto [name, text] : configs_) {
      Replace(text, "{port}", std::to_string(port_));
      dir_.Write(name, text);
    }
  }
  bool StartWithConfigs(std::vector<std::string> args) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = ClosedPort();
      WriteConfigs();
      std::vector<std::string> line = args;
      for (std::string& a : line) Replace(a, "{dir}", dir_.Path());
      if (!process_.Start(line, dir_.File("output.log"))) return false;
      if (WaitForPort(port_, process_)) return true;
      process_.Stop();
    }
    return false;
  }
  const TempDir& Dir() const { return dir_; }
  std::string PortText() const { return std::to_string(port_); }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + PortText() + path; }

 private:
  static void Replace(std::string& s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
      s.replace(at, from.size(), to);
  }

  TempDir dir_;
  PeerProcess process_;
  int port_ = 0;
  std::vector<std::pair<std::string, std::string>> configs_;
};

// python3 -m http.server serving a folder with a document.
class PythonServer : public Peer {
 public:
  explicit PythonServer(const std::string& document) {
    Dir().Write("doc.txt", document);
    std::string python = FindProgram({"python3"});
    running_ = !python.empty() && Start({python, "-m", "http.server", "--bind", "127.0.0.1",
                                         "--directory", "{dir}", "{port}"});
  }
  bool Running() const { return running_; }

 private:
  bool running_ = false;
};

const char kNginxConf[] = R"(daemon off;
master_process off;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path {dir}/body;
  proxy_temp_path {dir}/proxy;
  fastcgi_temp_path {dir}/fastcgi;
  uwsgi_temp_path {dir}/uwsgi;
  scgi_temp_path {dir}/scgi;
  default_type text/plain;
  server {
    listen 127.0.0.1:{port};
    root {dir}/www;
    gzip on;
    gzip_min_length 1;
    gzip_types text/plain;
    location = /old { return 301 /doc.txt; }
    location /private/ {
      auth_basic "K2 station";
      auth_basic_user_file {dir}/htpasswd;
    }
  }
}
)";

class Nginx : public Peer {
 public:
  explicit Nginx(const std::string& document) {
    std::filesystem::create_directories(Dir().File("www/private"));
    Dir().Write("www/doc.txt", document);
    Dir().Write("www/private/log.txt", "73 de K2");
    Dir().Write("htpasswd", "op:{PLAIN}secret73\n");
    Config("nginx.conf", kNginxConf);
    std::string nginx = FindProgram({"nginx"});
    running_ = !nginx.empty() && StartWithConfigs({nginx, "-p", "{dir}", "-c", "{dir}/nginx.conf",
                                                   "-e", "{dir}/error.log"});
  }
  bool Running() const { return running_; }

 private:
  bool running_ = false;
};

const char kSquidConf[] = R"(http_port 127.0.0.1:{port}
pid_filename {dir}/squid.pid
cache_log {dir}/cache.log
access_log none
cache deny all
cache_mem 8 MB
coredump_dir {dir}
shutdown_lifetime 0 seconds
auth_param ntlm program /usr/lib/squid/ntlm_fake_auth
auth_param ntlm children 1
acl ntlmusers proxy_auth REQUIRED
http_access allow ntlmusers
http_access deny all
)";

class Squid : public Peer {
 public:
  Squid() {
    std::filesystem::permissions(Dir().Path(), std::filesystem::perms::all);
    Config("squid.conf", kSquidConf);
    std::string squid = FindProgram({"squid"});
    running_ = !squid.empty() && access("/usr/lib/squid/ntlm_fake_auth", X_OK) == 0 &&
               StartWithConfigs({squid, "-N", "-f", "{dir}/squid.conf"});
  }
  bool Running() const { return running_; }

 private:
  bool running_ = false;
};

std::string Document() {
  std::string text;
  for (int i = 0; text.size() < 30000; ++i) text += "CQ CQ de K2 line " + std::to_string(i) + "\n";
  return text;
}

}  // namespace

TEST(HttpCliPeers, PythonServerGivesTheDocumentAndItsErrors) {
  std::string document = Document();
  PythonServer server(document);
  ASSERT_TRUE(server.Running());
  THttpCli c;
  HttpTrace trace(c);
  TMemoryStream reply;
  c.SetResponseStream(&reply);
  c.SetURL(server.Url("/doc.txt"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_TRUE(reply.Data() == document);
  EXPECT_EQ(c.ContentLength(), static_cast<std::int64_t>(document.size()));
  EXPECT_EQ(trace.done, 1);

  // The same again with the bandwidth limit: slower, but whole.
  reply.SetSize(0);
  c.SetOptions({httpoBandwidthControl});
  c.SetBandwidthLimit(100000);
  c.SetBandwidthSampling(50);
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_TRUE(reply.Data() == document);
  c.SetOptions({});

  c.HeadAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(reply.Size(), static_cast<std::int64_t>(document.size()));  // nothing added

  c.SetURL(server.Url("/missing.txt"));
  try {
    c.GetAndWait();
    FAIL() << "no exception";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 404);
    EXPECT_EQ(c.StatusCode(), 404);
  }
}

TEST(HttpCliPeers, NginxGzipChunkedRelocationAndBasic) {
  std::string document = Document();
  Nginx server(document);
  ASSERT_TRUE(server.Running());
  THttpCli c;
  c.SetRequestVer("1.1");
  TMemoryStream reply;
  c.SetResponseStream(&reply);

  // gzip in chunks: stored as received, byte for byte.
  c.OnBeforeHeaderSend = [](THttpCli*, const std::string&, std::vector<std::string>& lines) {
    lines.push_back("Accept-Encoding: gzip");
  };
  c.SetURL(server.Url("/doc.txt"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(c.ContentEncoding(), "gzip");
  EXPECT_EQ(c.TransferEncoding(), "chunked");
  ASSERT_GT(reply.Size(), 18);
  EXPECT_EQ(reply.Data().substr(0, 2), "\x1f\x8b");
  const std::string& z = reply.Data();
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i)
    size |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(z[z.size() - 4 + i])) << (8 * i);
  EXPECT_EQ(size, document.size());  // the gzip trailer arrived: the body is complete
  c.OnBeforeHeaderSend = nullptr;

  // 301 to the document, over the kept connection.
  reply.SetSize(0);
  HttpTrace trace(c);
  c.SetURL(server.Url("/old"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_TRUE(reply.Data() == document);
  EXPECT_EQ(trace.locations, (std::vector<std::string>{server.Url("/doc.txt")}));

  // Basic: refused without credentials, answered with them.
  c.SetURL(server.Url("/private/log.txt"));
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 401);
  reply.SetSize(0);
  c.SetUsername("op");
  c.SetPassword("secret73");
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_EQ(reply.Data(), "73 de K2");
  c.SetPassword("wrong");
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 401);
}

TEST(HttpCliPeers, SquidAsAProxyThatWantsNtlm) {
  std::string document = Document();
  PythonServer origin(document);
  ASSERT_TRUE(origin.Running());
  Squid proxy;
  ASSERT_TRUE(proxy.Running());
  THttpCli c;
  TMemoryStream reply;
  c.SetResponseStream(&reply);
  c.SetURL(origin.Url("/doc.txt"));
  c.SetProxy("127.0.0.1");
  c.SetProxyPort(proxy.PortText());

  EXPECT_EQ(c.ProxyUsername(), "");
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 407);  // no credentials: the refusal stands

  c.SetProxyUsername("op");
  c.SetProxyPassword("73");
  std::vector<std::string> sent;
  c.OnCommand = [&](THttpCli*, std::string& line) {
    if (line.rfind("Proxy-Authorization: ", 0) == 0) sent.push_back(line.substr(0, 25));
  };
  reply.SetSize(0);
  c.GetAndWait();
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_TRUE(reply.Data() == document);
  EXPECT_EQ(sent,
            (std::vector<std::string>{"Proxy-Authorization: NTLM", "Proxy-Authorization: NTLM"}));
}

TEST(HttpCliPeers, MicrosocksInFrontOfTheServer) {
  std::string document = Document();
  PythonServer origin(document);
  ASSERT_TRUE(origin.Running());
  Peer socks;
  std::string microsocks = FindProgram({"microsocks"});
  ASSERT_FALSE(microsocks.empty());
  ASSERT_TRUE(socks.Start({microsocks, "-i", "127.0.0.1", "-p", "{port}"}));
  THttpCli c;
  TMemoryStream reply;
  int socksConnected = -1;
  c.OnSocksConnected = [&](TCustomWSocket*, std::uint16_t e) { socksConnected = e; };
  c.SetResponseStream(&reply);
  c.SetSocksServer("127.0.0.1");
  c.SetSocksPort(socks.PortText());
  c.SetSocksLevel("5");
  c.SetURL(origin.Url("/doc.txt"));
  c.GetAndWait();
  EXPECT_EQ(socksConnected, 0);
  EXPECT_EQ(c.StatusCode(), 200);
  EXPECT_TRUE(reply.Data() == document);

  // A target that refuses: the proxy's word is the reason.
  c.SetURL("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
  try {
    c.GetAndWait();
    FAIL() << "no exception";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 404);
  }
  EXPECT_EQ(c.ReasonPhrase(), "connection refused (Error #20008)");
}
