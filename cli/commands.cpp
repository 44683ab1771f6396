#include "cli/commands.h"

#include <exception>
#include <iostream>

namespace tessel::cli {

// Each command lives in a file of its own; this table lists them.
const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands = {
      {"info", "info FILE                 format, size, bits per pixel and image count of an image file",
       RunInfo},
      {"convert",
       "convert IN OUT [--quality N] [--progressive] [--strict]\n"
       "                            convert an image; OUT's extension names the format; --strict\n"
       "                            fails instead of reducing colours the format cannot hold",
       RunConvert},
      {"export",
       "export IMAGE --html OUT.html [--grid FILE.grd] [--vsplit X,..] [--hsplit Y,..] [--divide CxR]\n"
       "                            [--format jpg|bmp|tif|png] [--quality N] [--progressive] [--uppercase]\n"
       "                            [--doublequote] [--save-grid] [--links FILE] [--force] [--jobs N]\n"
       "                            cut an image into slices and write the HTML table",
       RunExport},
      {"filter",
       "filter IN OUT (--rgb R,G,B | --cmy C,M,Y | --hls H,L,S)\n"
       "                            adjust the colours of an image: percent -100..100 per channel,\n"
       "                            the hue in degrees -180..180; OUT's extension names the format",
       RunFilter},
  };
  return commands;
}

namespace {

void PrintHelp(std::ostream& out) {
  out << "Usage: tessel-cli COMMAND [ARGUMENTS]\n\n"
         "Cuts images into slices for web pages, converts and adjusts images, without a window.\n\n"
         "Commands:\n";
  for (const TCommand& command : Commands()) out << "  " << command.Synopsis << "\n";
  out << "\nExit status: 0 success, 1 failure, 2 wrong usage.\n";
}

}  // namespace

int Main(const TArgs& args) {
  if (args.empty()) {
    PrintHelp(std::cerr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintHelp(std::cout);
    return 0;
  }
  for (const TCommand& command : Commands()) {
    if (args[0] == command.Name) {
      try {
        return command.Run(TArgs(args.begin() + 1, args.end()));
      } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
      }
    }
  }
  std::cerr << "tessel-cli: unknown command \"" << args[0] << "\" (see tessel-cli --help)\n";
  return 2;
}

}  // namespace tessel::cli
