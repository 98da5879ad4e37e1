#pragma once

// The command-line library's classes, named without its header: that header is costly to
// compile, and only the files that build or read the command line need it.
namespace CLI {
class App;
class Formatter;
class Validator;
}  // namespace CLI
