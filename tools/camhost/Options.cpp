#include "Options.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace camhost {
namespace {

const char* const kScriptHelp = R"(
Script: one command a line; '#' starts a comment; numbers in decimal or 0x-hex; at most
4096 characters a line and 1 MiB in all. Without a script argument and with standard input
not a terminal, the script is read from it.
  init                      board initialize()
  exposure US               setExposure
  interval US               setFrameInterval
  roi Y X W H               setROI (first row, first column, width, height)
  regions N Y X W H ...     N regions to the multiple-ROI view, then programMultipleROI
  bpp MODE                  0 16-bit, 2 8-bit, 3 12-bit (1, 10-bit, is refused)
  color 0|1
  pattern P                 0 off, 1 or 16 (sensor pattern 3), 17 (sensor pattern 4)
  trigger M                 0 free running, 1 external trigger
  start | stop
  notify GPIO LEVEL         a GPIO notification to Handler: any line and level; with
                            trigger 1 and a capture running, each one paces one frame
  write ADDR VALUE          a client's register-file write
  cmd NAME [ARGS...]        a text command through the board's handler chain
  peek REG | poke REG VALUE
  version | info | temperature N
  get exposure|interval|min-interval|roi|image-roi|trigger|pattern|capturing|clock|skip-frames
  sleep US                  a wait on the head's clock (frames due in it are delivered)
  readback                  the FPGA registers as the hardware holds them, beside what the
                            plug-in reported; answers how many differ
  state                     the JSON state report to standard output
  expect VALUE              the command before gave VALUE: a number, a region
                            (0 0 13280 9184 or [0,0,13280,9184]), a text ("ACK <1>" or
                            bare); expect !VALUE: anything else (expect !0))";

// camhost's own part: the simulated head's set-up and the exit statuses with --strict.
const char* const kSimHelp = R"(--sim keys, each at most once:
  rail.N=VOLTS              ADC channel N (0..7) reads VOLTS
  pll=N|Nus|never           the receiver PLL locks N polls of 100 ms (or N us) after the
                            core is enabled with the sensor running (0: at once)
  dpa=MASK[@POLLS]          lanes whose DPA locks, one bit a lane, bits 0..27 (default
                            0x0FFFFFFF: all 28; 0x0FFFFFFE: lane 0 never locks); with
                            @POLLS the locked set grows over POLLS polls of 10 ms
  invert=MASK               lanes the board inverts, one bit a lane, bits 0..27 (default
                            0x0200443A, the sample configuration's): a lane trains only
                            with the receiver's lane inversion set to match beforehand
  align=N|Nus|never         the deserializer aligns N polls of 100 ms (or N us) after
                            every lane is locked and held
  memory=absent adc=absent spi=closed spi=refuse-config sysid=W0,W1 rxcore=ID,REV (the frame
  receiver core's identification) pwm=down pixelshift=down
  badpixel=down gpio.NAME=absent (NAME: XRESET, MCLK_ENABLE, TRIGGER_IN)
  regfile=direct|locked|thread|strict-lock
                            how the register file notifies: on the writer's thread
                            (default), on it while holding its own recursive lock, from a
                            notification thread of its own, or on the writer's thread
                            holding a non-recursive lock (a word written from inside the
                            notification is a violation, and dropped)
Exit status: 0 script run, every expectation met; 1 plug-in not loadable or an exception
from it; 2 usage, script or output-file error; 3 an expectation not met; 4 (with --strict)
the run broke a hardware rule of the head; 128 + signal (129 SIGHUP, 130 SIGINT, 141
SIGPIPE, 143 SIGTERM) the run was interrupted, a running capture stopped first.)";

fs::path executableDir() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

bool isPresent(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

} // namespace

std::string defaultPlugin() {
    const fs::path dir = executableDir();
    // Build tree: <build>/tools/camhost/camhost beside <build>/libtc120mxs.so.
    const fs::path built = dir / ".." / ".." / "libtc120mxs.so";
    if (isPresent(built))
        return fs::weakly_canonical(built).string();
    const fs::path installed = dir / ".." / CAMHOST_INSTALL_LIBDIR / "libtc120mxs.so";
    if (isPresent(installed))
        return fs::weakly_canonical(installed).string();
    return CAMHOST_INSTALLED_PLUGIN;
}

std::string defaultConfig() {
    const fs::path dir = executableDir();
    if (isPresent(dir / ".." / ".." / "libtc120mxs.so") && isPresent(CAMHOST_DEFAULT_CONFIG))
        return CAMHOST_DEFAULT_CONFIG;
    const fs::path installed = dir / ".." / CAMHOST_INSTALL_DATADIR / "tc120mxs" / "config";
    if (isPresent(installed))
        return fs::weakly_canonical(installed).string();
    if (isPresent(CAMHOST_INSTALLED_CONFIG))
        return CAMHOST_INSTALLED_CONFIG;
    return CAMHOST_DEFAULT_CONFIG;
}

const char* scriptHelp() {
    return kScriptHelp;
}

const char* simHelp() {
    return kSimHelp;
}

std::optional<int> parseOptions(int argc, char** argv, tsOptions& options,
                                const tsProgramOptions& program) {
    CLI::App app{std::string(program.name) + ": " + program.description, program.name};
    options.plugin = defaultPlugin();
    options.config = program.config.empty() ? defaultConfig() : program.config;
    options.spi = "/dev/spidev1.0";
    app.add_option("--plugin", options.plugin, "plug-in module to load")->capture_default_str();
    app.add_option("--config", options.config, "working directory the plug-in reads from")
        ->capture_default_str()
        ->check(CLI::ExistingDirectory);
    app.add_option("--spi", options.spi, "SPI device path handed to makeSensor")
        ->capture_default_str();
    app.add_option("--json", options.json, "write the state report to FILE at the end");
    app.add_flag("--quiet", options.quiet,
                 "keep the plug-in's own output off the terminal (see --log)");
    app.add_option("--log", options.log,
                   "write the plug-in's own output to FILE, not the terminal");
    app.add_option("--trace", options.trace,
                   "record the plug-in's hardware boundary in FILE (docs/trace.md); the same "
                   "as TC120MXS_TRACE=FILE");
    program.add(app);
    app.add_option("script", options.script, "script file, or - for standard input");
    app.set_version_flag("--version", std::string(program.name) + " " + CAMHOST_VERSION);
    app.footer(std::string(kScriptHelp) + "\n" + program.help);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 2;
    }
    return std::nullopt;
}

} // namespace camhost
