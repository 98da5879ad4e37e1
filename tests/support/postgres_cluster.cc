#include "support/postgres_cluster.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <libpq-fe.h>

#include "support/run_command.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// The newest installed server's programs (Debian keeps each major version in its own folder).
std::string serverBinaries() {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
    if (fs::exists(entry.path() / "bin/initdb") && fs::exists(entry.path() / "bin/pg_ctl"))
      found.push_back(entry.path() / "bin");
  }
  if (found.empty()) return {};
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    return std::stoi(a.parent_path().filename().string()) < std::stoi(b.parent_path().filename().string());
  });
  return found.back().string();
}

}  // namespace

std::unique_ptr<PostgresCluster> PostgresCluster::start(std::string& whyNot) {
  const std::string bin = serverBinaries();
  if (bin.empty()) {
    whyNot = "the PostgreSQL server is not installed (/usr/lib/postgresql/*/bin/initdb)";
    return nullptr;
  }
  char pattern[] = "/tmp/corvane-pg-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    whyNot = "cannot make a folder for the cluster";
    return nullptr;
  }
  std::unique_ptr<PostgresCluster> cluster(new PostgresCluster(bin, pattern));
  // The server refuses to run as root.
  if (::geteuid() == 0) {
    const passwd* owner = ::getpwnam("postgres");
    if (owner == nullptr || ::chown(pattern, owner->pw_uid, owner->pw_gid) != 0) {
      whyNot = "no postgres user to run the server as";
      return nullptr;
    }
  }
  const std::string data = cluster->folder_ + "/data";
  if (cluster->runAsOwner("initdb", {"-D", data, "-U", "postgres", "--auth=trust", "-E", "UTF8", "--no-sync"}) != 0) {
    whyNot = "initdb failed";
    return nullptr;
  }
  std::ofstream(data + "/postgresql.conf", std::ios::app)
      << "listen_addresses = ''\nunix_socket_directories = '" << cluster->folder_
      << "'\nfsync = off\nsynchronous_commit = off\nfull_page_writes = off\nshared_buffers = 16MB\n"
         "max_connections = 40\n";
  if (!cluster->startServer()) {
    whyNot = "the server did not start (see " + cluster->folder_ + "/log)";
    return nullptr;
  }
  return cluster;
}

PostgresCluster::~PostgresCluster() {
  if (running_) stopServer();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

int PostgresCluster::runAsOwner(const std::string& program, const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv;
  std::string command = bin_ + "/" + program;
  if (::geteuid() == 0) {
    argv = {"-u", "postgres", "--", command};
    command = "runuser";
  }
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProgram(command, argv).status;
}

bool PostgresCluster::startServer() {
  running_ = runAsOwner("pg_ctl", {"-D", folder_ + "/data", "-l", folder_ + "/log", "-w", "start"}) == 0;
  return running_;
}

bool PostgresCluster::stopServer() {
  const bool stopped = runAsOwner("pg_ctl", {"-D", folder_ + "/data", "-m", "immediate", "-w", "stop"}) == 0;
  if (stopped) running_ = false;
  return stopped;
}

std::string PostgresCluster::uriOf(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + folder_ + "&user=postgres";
}

std::string PostgresCluster::createDatabase(const std::string& name) {
  query("postgres", "CREATE DATABASE " + name);
  return uriOf(name);
}

std::string PostgresCluster::query(const std::string& database, const std::string& sql) const {
  return PostgresSession(uriOf(database)).query(sql);
}

PostgresSession::PostgresSession(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {}

PostgresSession::~PostgresSession() { PQfinish(conn_); }

std::string PostgresSession::query(const std::string& sql) {
  if (PQstatus(conn_) != CONNECTION_OK) return std::string("error: ") + PQerrorMessage(conn_);
  PGresult* result = PQexec(conn_, sql.c_str());
  std::string answer;
  const auto status = PQresultStatus(result);
  if (status == PGRES_TUPLES_OK && PQntuples(result) > 0 && PQnfields(result) > 0)
    answer = PQgetvalue(result, 0, 0);
  else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
    answer = std::string("error: ") + PQresultErrorMessage(result);
  PQclear(result);
  return answer;
}

}  // namespace corvane::testing
