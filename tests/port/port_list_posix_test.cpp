// The candidate ports of a POSIX system, scanned in a folder that stands for the
// root: dev/ with its by-id links, sys/class/tty/ with the ports' devices.

#include "port/port_list_posix.h"
#include "port/serial_port.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(PortScan, ListsEachDeviceOnceComPortsFirst)
{
    const fs::path root = fs::temp_directory_path() / "korven-port-scan";
    fs::remove_all(root);
    fs::create_directories(root / "dev/serial/by-id");
    // A device node, and in sysfs the tty's type where a serial core has one and its link to the device.
    const auto tty = [&root](const std::string& name, const std::string& type, const std::string& device) {
        const fs::path folder = root / "sys/class/tty" / name;
        fs::create_directories(folder);
        fs::create_directories(root / "sys" / device);
        std::ofstream(root / "dev" / name) << "";
        if (!type.empty())
            std::ofstream(folder / "type") << type << "\n";
        if (!device.empty())
            fs::create_directory_symlink("../../../" + device, folder / "device");
    };
    // An on-board port with a UART, one the kernel only keeps a place for, a virtual
    // console; an FTDI adapter and an Arduino under USB; an ARM UART.
    tty("ttyS0", "4", "devices/pnp0/00:01");
    tty("ttyS1", "0", "devices/platform/serial8250");
    tty("tty1", "", "");
    tty("ttyUSB0", "", "devices/usb1/1-1/1-1:1.0/ttyUSB0");
    tty("ttyACM0", "", "devices/usb1/1-2/1-2:1.0");
    tty("ttyAMA0", "1", "devices/platform/uart");
    std::ofstream(root / "dev/ttyUSB10") << ""; // USB adapters that sysfs does not show, in numeric order
    std::ofstream(root / "dev/ttyUSB2") << "";
    for (const auto& [file, text] : {std::pair{"1-1/idVendor", "0403"},
                                     {"1-1/idProduct", "6001"},
                                     {"1-1/manufacturer", "FTDI"},
                                     {"1-1/product", "FT232R USB UART"},
                                     {"1-1/serial", "A10K1234"},
                                     {"1-2/idVendor", "2341"},
                                     {"1-2/idProduct", "0043"},
                                     {"1-2/manufacturer", "Arduino"},
                                     {"1-2/product", "Uno"}})
        std::ofstream(root / "sys/devices/usb1" / file) << text << "\n";
    const std::string byId = "$R/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
    fs::create_symlink("../../ttyUSB0", Replaced(byId, "$R", root.string()));

    // The description, then the socket and the by-id name that know the adapter again.
    const std::string ftdi =
        "FTDI FT232R USB UART, USB 0403:6001, Seriennummer A10K1234|1-1:1.0|" + byId.substr(byId.rfind('/') + 1);
    const std::string arduino = "$R/dev/ttyACM0|0|$R/dev/ttyACM0|Arduino Uno, USB 2341:0043|1-2:1.0|";
    struct Row {
        std::string ports;                 // the [PORTS] lines
        std::vector<std::string> expected; // name, COM number, the device behind it, the description
    } const rows[] = {
        // COM1 is ttyS0, which has a UART; COM2 the adapter by its stable name; a
        // missing entry stays, an empty one names nothing.
        {"COM2=" + byId + "\nCOM3=/nonexistent/tty\nCOM4=\n",
         {"COM1|1|$R/dev/ttyS0|||", "COM2|2|$R/dev/ttyUSB0|" + ftdi, "COM3|3|/nonexistent/tty|||", arduino,
          "$R/dev/ttyUSB2|0|$R/dev/ttyUSB2|||", "$R/dev/ttyUSB10|0|$R/dev/ttyUSB10|||",
          "$R/dev/ttyAMA0|0|$R/dev/ttyAMA0|||"}},
        // The devices no COMn names: by-id names first, then USB, then on-board ports.
        {"COM1=$R/dev/ttyUSB10\nCOM5=$R/dev/serial/../ttyUSB10\n",
         {"COM1|1|$R/dev/ttyUSB10|||", byId + "|0|$R/dev/ttyUSB0|" + ftdi, arduino,
          "$R/dev/ttyUSB2|0|$R/dev/ttyUSB2|||", "$R/dev/ttyAMA0|0|$R/dev/ttyAMA0|||",
          "$R/dev/ttyS0|0|$R/dev/ttyS0|||"}},
    };
    const std::string ini = (root / "KorvenCtrl.ini").string();
    CSerialPort::SetHooks({{}, ini});
    for (const Row& row : rows) {
        std::ofstream(ini) << "[PORTS]\n" << Replaced(row.ports, "$R", root.string());
        std::vector<std::string> lines;
        for (const PortCandidate& c : ScanPosixPorts(root))
            lines.push_back(Replaced(c.name + "|" + std::to_string(c.comNumber) + "|" + c.target + "|" +
                                         PortDescription(c) + "|" + c.usbPath + "|" + c.byIdName,
                                     root.string(), "$R"));
        EXPECT_EQ(lines, row.expected) << row.ports;
    }
    CSerialPort::SetHooks({});
    fs::remove_all(root);
}

// Whether two ports are the same adapter, where the window's case (one without
// a serial number in the same socket) does not tell: a wrong yes would talk to
// another relay.
TEST(PortScan, AnAdapterIsKnownAgainByItsSerialNumberOrItsSocket)
{
    const auto port = [](const char* serial, const char* usbPath, const char* ids = "0403") {
        PortCandidate c;
        c.vendorId = ids;
        c.productId = ids;
        c.serialNumber = serial;
        c.usbPath = usbPath;
        c.byIdName = serial;
        return c;
    };
    EXPECT_TRUE(SameAdapter(port("A10K", "1-1:1.0"), port("A10K", "3-2:1.0")));  // in another socket
    EXPECT_FALSE(SameAdapter(port("A10K", "1-1:1.0"), port("B20X", "1-1:1.0"))); // another adapter
    EXPECT_FALSE(SameAdapter(port("A10K", "1-1:1.0"), port("A10K", "1-1:1.1"))); // its second port
    EXPECT_FALSE(SameAdapter(port("", "1-1.2:1.0"), port("", "1-1.3:1.0")));     // a twin in another socket
    EXPECT_FALSE(SameAdapter(port("", ""), port("", "")));
    // Where the system says nothing but the by-id name (a link to another device): that name.
    EXPECT_TRUE(SameAdapter(port("usb-K1-if00", "", ""), port("usb-K1-if00", "", "")));
}

} // namespace
