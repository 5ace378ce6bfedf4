// The candidate ports of a POSIX system, scanned in a folder that stands for the
// root: dev/ with its by-id links, sys/class/tty/ with the ports' devices.

#include "link/port_list_posix.h"
#include "link/serial_port.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PortScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = fs::temp_directory_path() / "korven-port-scan";
        fs::remove_all(m_root);
        // An on-board port with a UART, one the kernel only keeps a place for, a
        // virtual console; an FTDI adapter and an Arduino under USB; an ARM UART.
        Tty("ttyS0", "4", "devices/pnp0/00:01");
        Tty("ttyS1", "0", "devices/platform/serial8250");
        Tty("tty1", "", "");
        Tty("ttyUSB0", "", "devices/usb1/1-1/1-1:1.0/ttyUSB0");
        Usb("usb1/1-1", {"0403", "6001", "FTDI", "FT232R USB UART", "A10K1234"});
        Tty("ttyACM0", "", "devices/usb1/1-2/1-2:1.0");
        Usb("usb1/1-2", {"2341", "0043", "Arduino", "Uno", ""});
        Tty("ttyAMA0", "1", "devices/platform/uart");
        fs::create_directories(m_root / "dev/serial/by-id");
        for (const char* device : {"ttyS0", "ttyS1", "tty1", "ttyUSB0", "ttyACM0", "ttyUSB10", "ttyAMA0"})
            std::ofstream(m_root / "dev" / device) << "";
        fs::create_symlink("../../ttyUSB0", m_root / "dev/serial/by-id" / kById);
    }
    void TearDown() override
    {
        CSerialPort::SetHooks({});
        fs::remove_all(m_root);
    }

    // A tty in sysfs: its type file where a serial core has one, its device under sys/.
    void Tty(const std::string& name, const std::string& type, const std::string& device) const
    {
        const fs::path folder = m_root / "sys/class/tty" / name;
        fs::create_directories(folder);
        if (!type.empty())
            std::ofstream(folder / "type") << type << "\n";
        if (!device.empty()) {
            // As in sysfs: a link from class/tty/<name> to the device's folder.
            fs::create_directories(m_root / "sys" / device);
            fs::create_directory_symlink("../../../" + device, folder / "device");
        }
    }

    void Usb(const std::string& device, const std::vector<std::string>& files) const
    {
        const char* names[] = {"idVendor", "idProduct", "manufacturer", "product", "serial"};
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!files[i].empty())
                std::ofstream(m_root / "sys/devices" / device / names[i]) << files[i] << "\n";
        }
    }

    // One line per candidate: name, COM number, device behind it, description;
    // "R" stands for the root.
    std::vector<std::string> Scan(const std::string& ports) const
    {
        const std::string ini = (m_root / "KorvenCtrl.ini").string();
        std::ofstream(ini) << "[PORTS]\n" << ports;
        CSerialPort::SetHooks({{}, ini});
        std::vector<std::string> lines;
        const std::string root = m_root.string();
        for (const PortCandidate& c : ScanPosixPorts(m_root)) {
            std::string line = c.name + "|" + std::to_string(c.comNumber) + "|" + c.target + "|" + PortDescription(c);
            for (auto at = line.find(root); at != std::string::npos; at = line.find(root))
                line.replace(at, root.size(), "R");
            lines.push_back(line);
        }
        return lines;
    }

    static constexpr const char* kById = "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
    fs::path m_root;
};

TEST_F(PortScanTest, ListsEachDeviceOnceComPortsFirst)
{
    const std::string ftdi = "FTDI FT232R USB UART, USB 0403:6001, Seriennummer A10K1234";
    const std::string byId = "R/dev/serial/by-id/" + std::string(kById);
    struct Row {
        std::string ports; // the [PORTS] lines, with R for the root
        std::vector<std::string> expected;
    } const rows[] = {
        // COM1 is ttyS0, which has a UART; COM2 the adapter by its stable name; a
        // missing entry stays, an empty one names nothing.
        {"COM2=" + byId + "\nCOM3=/nonexistent/tty\nCOM4=\n",
         {"COM1|1|R/dev/ttyS0|", "COM2|2|R/dev/ttyUSB0|" + ftdi, "COM3|3|/nonexistent/tty|",
          "R/dev/ttyACM0|0|R/dev/ttyACM0|Arduino Uno, USB 2341:0043", "R/dev/ttyUSB10|0|R/dev/ttyUSB10|",
          "R/dev/ttyAMA0|0|R/dev/ttyAMA0|"}},
        // The devices no COMn names: by-id names first, then USB, then on-board ports.
        {"COM1=R/dev/ttyUSB10\nCOM5=R/dev/serial/../ttyUSB10\n",
         {"COM1|1|R/dev/ttyUSB10|", byId + "|0|R/dev/ttyUSB0|" + ftdi,
          "R/dev/ttyACM0|0|R/dev/ttyACM0|Arduino Uno, USB 2341:0043", "R/dev/ttyAMA0|0|R/dev/ttyAMA0|",
          "R/dev/ttyS0|0|R/dev/ttyS0|"}},
    };
    for (const Row& row : rows) {
        std::string ports = row.ports;
        for (auto at = ports.find("R/"); at != std::string::npos; at = ports.find("R/", at + 1))
            ports.replace(at, 1, m_root.string());
        EXPECT_EQ(Scan(ports), row.expected) << row.ports;
    }
}

} // namespace
