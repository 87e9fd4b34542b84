#include "linux_port_io.h"

#include "port_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/major.h>
#include <linux/ppdev.h>
#include <stdexcept>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace {

const char* const kLoadModules =
    "Caricare i moduli del kernel con il comando \"sudo modprobe parport_pc ppdev\"";

std::string systemError(int error) {
    return std::string(std::strerror(error)) + ", codice " + std::to_string(error);
}

// Kernel lockdown lists its modes with the active one in brackets, e.g.
// "none [integrity] confidentiality"; without the file there is no lockdown.
bool kernelLockedDown() {
    std::ifstream file("/sys/kernel/security/lockdown");
    std::string modes;
    std::getline(file, modes);
    return !modes.empty() && modes.find("[none]") == std::string::npos;
}

// The driver that holds port number `number` now, "none" when it is free, or
// empty when the kernel lists no such port.
std::string holderOf(unsigned int number) {
    std::ifstream file("/proc/sys/dev/parport/parport" + std::to_string(number) +
                       "/devices/active");
    std::string name;
    std::getline(file, name);
    return name;
}

} // namespace

std::string LinuxPortIo::message(Failure failure, const std::string& device, int error) {
    const std::string noDevice = "Nessuna porta parallela trovata: il dispositivo " + device +
                                 " non esiste o non corrisponde a una porta";
    switch (failure) {
    case Failure::NoPort:
        return noDevice + ", e questo kernel non consente l'accesso diretto all'indirizzo 0x378. " +
               kLoadModules + " e riprovare.";
    case Failure::PermissionDenied:
        return "Accesso negato alla porta parallela " + device +
               ": l'utente non ha il permesso di aprirla. Aggiungere l'utente al gruppo \"lp\" "
               "(\"sudo usermod -aG lp NOME_UTENTE\"), uscire dalla sessione, rientrare e "
               "riprovare.";
    case Failure::Busy:
        return "La porta parallela " + device +
               " è occupata da un altro programma. Chiudere il programma che la sta usando "
               "(o attendere la fine della stampa in corso) e riprovare.";
    case Failure::NotAParallelPort:
        return device + " esiste ma non è una porta parallela del driver ppdev, quindi non " +
               "viene usato. " + kLoadModules +
               ", che creano il dispositivo della porta, e riprovare.";
    case Failure::Lockdown:
        return noDevice +
               ", e il kernel in modalità lockdown (Secure Boot attivo) rifiuta l'accesso "
               "diretto all'indirizzo 0x378 anche all'amministratore: la porta parallela si "
               "raggiunge solo tramite il driver ppdev. " +
               kLoadModules + " e riprovare.";
    case Failure::NoPrivilege:
        return noDevice +
               ", e l'accesso diretto all'indirizzo 0x378 è stato rifiutato perché richiede i "
               "privilegi di amministratore (root). " +
               kLoadModules +
               " e aggiungere l'utente al gruppo \"lp\" (poi uscire dalla sessione e rientrare), "
               "oppure avviare il programma come root.";
    case Failure::Lost:
        return "Comunicazione con la porta parallela " + device + " interrotta (" +
               systemError(error) + "). Verificare che la porta sia ancora collegata e riprovare.";
    case Failure::Unexpected:
        break;
    }
    return "Impossibile usare la porta parallela " + device + ": errore di sistema inatteso (" +
           systemError(error) + ").";
}

LinuxPortIo::LinuxPortIo(std::string device) : device_(std::move(device)) {}

LinuxPortIo::~LinuxPortIo() {
    if (access_ == Access::Ppdev) {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
    } else if (access_ == Access::Direct) {
        ::ioperm(kDirectAddress, 1, 0);
    }
}

void LinuxPortIo::PortOut(int port, std::uint8_t value) {
    reach(port);
    if (access_ == Access::Direct) {
        ::outb(value, static_cast<unsigned short>(port));
    } else if (::ioctl(fd_, PPWDATA, &value) != 0) {
        lose(errno);
    }
}

std::uint8_t LinuxPortIo::PortIn(int port) {
    reach(port);
    if (access_ == Access::Direct) {
        return ::inb(static_cast<unsigned short>(port));
    }
    std::uint8_t value = 0;
    if (::ioctl(fd_, PPRDATA, &value) != 0) {
        lose(errno);
    }
    return value;
}

// A failed attempt leaves nothing open, so the next call tries again from the
// start: an operator who loads the modules or frees the port can simply
// repeat the scan without restarting the program.
void LinuxPortIo::reach(int port) {
    if (port != kDirectAddress) {
        throw std::invalid_argument("port " + std::to_string(port) + " is not 0x378");
    }
    if (access_ == Access::None && !openPpdev()) {
        openDirect();
    }
}

// Returns false when there is no ppdev port behind the device path, so that
// direct access may be tried instead.
bool LinuxPortIo::openPpdev() {
    const int fd = openDevice();
    if (fd < 0 || !claim(fd)) {
        return false;
    }
    fd_ = fd;
    access_ = Access::Ppdev;
    return true;
}

// The open descriptor, or -1 when there is no device at the path.
int LinuxPortIo::openDevice() const {
    const int fd = ::open(device_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        return fd;
    }
    const int error = errno;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV: // a device node with no ppdev driver loaded
    case ENXIO:
        return -1;
    case EACCES:
    case EPERM:
    case EROFS:
        fail(Failure::PermissionDenied);
    case EBUSY:
        fail(Failure::Busy);
    case EISDIR:
        fail(Failure::NotAParallelPort);
    default:
        fail(Failure::Unexpected, error);
    }
}

// Claims the port behind fd, or closes fd and returns false when there is no
// port behind it; closes fd and throws on any other failure.
bool LinuxPortIo::claim(int fd) const {
    // No ioctl reaches anything but a ppdev device: on other devices the same
    // request numbers could mean something else.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || major(info.st_rdev) != PP_MAJOR) {
        ::close(fd);
        fail(Failure::NotAParallelPort);
    }
    // PPCLAIM waits for as long as another program holds the port, which would
    // freeze the window: ask the kernel first who holds it. A program that
    // claims the port between the two steps still makes the claim wait.
    const std::string holder = holderOf(minor(info.st_rdev));
    if (!holder.empty() && holder != "none") {
        ::close(fd);
        fail(Failure::Busy);
    }
    // No PPEXCL: exclusive access is refused whenever the printer driver lp is
    // loaded, while a plain claim shares the port with it.
    if (::ioctl(fd, PPCLAIM) == 0) {
        return true;
    }
    const int error = errno;
    ::close(fd);
    if (error == ENXIO && holder.empty()) {
        return false;
    }
    // ENXIO on a listed port: another program registered it exclusively.
    fail(error == ENXIO || error == EINTR ? Failure::Busy : Failure::Unexpected, error);
}

void LinuxPortIo::openDirect() {
    if (::ioperm(kDirectAddress, 1, 1) != 0) {
        if (errno != EPERM) {
            // ENOSYS: a kernel built without user-space port access.
            fail(Failure::NoPort);
        }
        // Lockdown refuses even root, so becoming root would not help.
        fail(kernelLockedDown() ? Failure::Lockdown : Failure::NoPrivilege);
    }
    access_ = Access::Direct;
}

// The port went away in use: close it, so that the next call starts afresh.
void LinuxPortIo::lose(int error) {
    ::close(fd_);
    fd_ = -1;
    access_ = Access::None;
    fail(Failure::Lost, error);
}

void LinuxPortIo::fail(Failure failure, int error) const {
    throw PortError(message(failure, device_, error));
}
