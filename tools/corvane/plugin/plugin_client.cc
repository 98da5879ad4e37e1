#include "plugin/plugin_client.h"

#include "plugin/file_report.h"
#include "plugin/host_files.h"
#include "plugin/plugin_host.h"
#include "run/descriptor_retry.h"

namespace corvane::tool {
namespace {

// The channel's methods: the only place the command spells them.
constexpr std::string_view kPlatformVersion = "getPlatformVersion";
constexpr std::string_view kFingerprintOfVideoAsset = "fingerprintOfVideoAsset";
constexpr std::string_view kFingerprintOfFile = "fingerprintOfFile";
constexpr std::string_view kHashAsset = "hashAsset";
constexpr std::string_view kHashFile = "hashFile";
constexpr std::string_view kAssetInAlbum = "getIfAssetExistInAlbum";

const std::string* textOf(const host::MethodReply& reply) {
  const auto* value = std::get_if<host::Value>(&reply);
  return value != nullptr ? value->getIf<std::string>() : nullptr;
}

}  // namespace

Result<std::unique_ptr<PluginClient>> PluginClient::start(const Context& context, Lending lending) {
  LentServices lent;
  lent.console = std::move(lending.console);
  lent.libraryLocation = std::move(lending.libraryLocation);
  // Each file call's thread learns what the plug-in's file layer found.
  lent.fileObserver = std::make_shared<FileReporter>();
  auto files = std::make_shared<HostFiles>(context.files);
  lent.files = files;
  auto host = PluginHost::start(*context.files, context.common.plugin, lent);
  if (!host) return failure(host.error());
  return std::unique_ptr<PluginClient>(new PluginClient(std::move(*host), std::move(files), context.common.trace));
}

PluginClient::PluginClient(std::unique_ptr<PluginHost> host, std::shared_ptr<HostFiles> files, bool trace)
    : host_(std::move(host)), files_(std::move(files)), trace_(trace) {}

Result<FileDigest> PluginClient::digestOfLentFile(DigestKind kind, const std::string& name,
                                                  const platform::File& file) const {
  const HostFiles::Lease lease(*files_, name, file);
  return digestOfFile(kind, name);
}

PluginClient::~PluginClient() = default;

host::MethodReply PluginClient::call(const host::FlutterMethodCall& call) const { return host_->call(call, trace_); }

Result<FileDigest> PluginClient::fileCall(std::string_view method, std::string_view path) const {
  struct Answer {
    host::MethodReply reply;
    FileReport report;
  };
  const auto [reply, report] = retryForDescriptor(
      [&] {
        FileReporter::take();
        Answer answer{call({std::string(method), host::Value(std::string(path))}), {}};
        answer.report = FileReporter::take();
        return answer;
      },
      [](const Answer& answer) { return answer.report.error && noDescriptor(answer.report.error->code); });
  if (const auto* digest = textOf(reply)) return FileDigest{*digest, report.status};
  // The reason the plug-in's file layer met, as it met it.
  if (report.error) return failure(Error::ofFile(*report.error));
  return failure("cannot be read");
}

Result<std::string> PluginClient::textCall(std::string_view method, std::string_view argument) const {
  const auto reply = call({std::string(method), host::Value(std::string(argument))});
  if (const auto* text = textOf(reply)) return *text;
  return failure("no answer");
}

Result<std::string> PluginClient::getPlatformVersion() const {
  const auto reply = call({std::string(kPlatformVersion), host::Value{}});
  if (const auto* text = textOf(reply)) return *text;
  return failure("no answer");
}

Result<FileDigest> PluginClient::fingerprintOfFile(std::string_view path) const {
  return fileCall(kFingerprintOfFile, path);
}

Result<FileDigest> PluginClient::hashFile(std::string_view path) const { return fileCall(kHashFile, path); }

Result<std::string> PluginClient::fingerprintOfVideoAsset(std::string_view identifier) const {
  return textCall(kFingerprintOfVideoAsset, identifier);
}

Result<std::string> PluginClient::hashAsset(std::string_view identifier) const {
  return textCall(kHashAsset, identifier);
}

Result<bool> PluginClient::getIfAssetExistInAlbum(std::string_view asset, std::string_view album,
                                                  bool isUserAlbum) const {
  const host::Value arguments(host::ValueMap{{host::Value("assetId"), host::Value(std::string(asset))},
                                             {host::Value("pathId"), host::Value(std::string(album))},
                                             {host::Value("isUserAlbum"), host::Value(isUserAlbum)}});
  const auto reply = call({std::string(kAssetInAlbum), arguments});
  const auto* value = std::get_if<host::Value>(&reply);
  if (const auto* answer = value != nullptr ? value->getIf<bool>() : nullptr) return *answer;
  return failure("the plug-in gave no answer to the album query");
}

Result<FileDigest> PluginClient::digestOfFile(DigestKind kind, std::string_view path) const {
  return kind == DigestKind::kFingerprint ? fingerprintOfFile(path) : hashFile(path);
}

Result<std::string> PluginClient::digestOfAsset(DigestKind kind, std::string_view identifier) const {
  return kind == DigestKind::kFingerprint ? fingerprintOfVideoAsset(identifier) : hashAsset(identifier);
}

const std::string& PluginClient::libraryPath() const { return host_->libraryPath(); }

double PluginClient::versionNumber() const { return host_->versionNumber(); }

const std::string& PluginClient::versionString() const { return host_->versionString(); }

}  // namespace corvane::tool
