#pragma once

#include <memory>
#include <string>
#include <vector>

struct pg_conn;  // libpq's connection

namespace corvane::testing {

// One connection to a database, held as long as the object lives: a test's own session, whose
// transactions and locks last across statements.
class PostgresSession {
 public:
  explicit PostgresSession(const std::string& uri);
  ~PostgresSession();
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;

  // The first column of the first row, or "" ("error: …" when it fails).
  std::string query(const std::string& sql);

 private:
  ::pg_conn* conn_;
};

// A throw-away PostgreSQL server: a cluster made by initdb in a fresh folder under /tmp, run by
// the `postgres` user when the tests run as root, listening on a Unix socket in that folder
// only, with every local connection trusted. Stopped, and its folder removed, when it goes.
class PostgresCluster {
 public:
  // None, and why in `whyNot`, when the server's programs are not installed or it does not start.
  static std::unique_ptr<PostgresCluster> start(std::string& whyNot);
  ~PostgresCluster();
  PostgresCluster(const PostgresCluster&) = delete;
  PostgresCluster& operator=(const PostgresCluster&) = delete;

  // Makes an empty database; its connection URI.
  std::string createDatabase(const std::string& name);
  std::string uriOf(const std::string& database) const;
  // Runs SQL as the superuser in a database; the first column of the first row, or "" ("error: …"
  // when it fails).
  std::string query(const std::string& database, const std::string& sql) const;

  // Stops the server at once (its sessions cut), and starts it again.
  bool stopServer();
  bool startServer();

 private:
  PostgresCluster(std::string bin, std::string folder) : bin_(std::move(bin)), folder_(std::move(folder)) {}
  // Runs one of the server's programs, as the cluster's owner; its exit status.
  int runAsOwner(const std::string& program, const std::vector<std::string>& arguments) const;

  std::string bin_;     // the folder of initdb and pg_ctl
  std::string folder_;  // the cluster's data (data/), its socket and its log
  bool running_ = false;
};

}  // namespace corvane::testing
