// The local disks the page "Path" lists, read from a mount table.
#include "tests/settings/SettingsTestSupport.h"

#include "platform/Mounts.h"

using namespace pelidor;
using pelidor::settings_ui_test::SettingsDialogTest;

namespace {

// A desktop machine's table: the lines that must become disk rows are marked "disk".
const char* const kMountinfo =
    "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 28 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "24 28 0:6 / /dev rw,relatime - devtmpfs udev rw,size=8000k\n"
    "30 1 8:3 /@home /home rw,relatime shared:2 - btrfs /dev/sda3 rw,subvol=/@home\n" // disk
    "28 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"                         // disk
    "31 28 8:1 / /boot/efi rw,relatime shared:3 - vfat /dev/sda1 rw\n"
    "32 28 0:30 / /tmp rw,nosuid - tmpfs tmpfs rw\n"
    "33 28 7:0 / /snap/core/1 ro,relatime - squashfs /dev/loop0 ro\n"
    "34 28 8:17 / /media/ann/USB\\040STICK rw - vfat /dev/sdb1 rw\n"
    "35 28 8:33 / /run/media/ann/CARD rw - exfat /dev/sdc1 rw\n"
    "36 28 0:40 / /mnt/nas rw - nfs4 nas:/export rw\n"
    "37 28 0:41 / /mnt/share rw - cifs //srv/share rw\n"
    "38 28 11:0 / /mnt/cdrom ro - iso9660 /dev/sr0 ro\n"
    "39 28 8:49 / /mnt/data\\040disk rw - ext4 /dev/sdd1 rw\n" // disk, with a blank
    "40 28 8:65 / /mnt/win rw - fuseblk /dev/sde1 rw\n"        // disk (NTFS through FUSE)
    "41 28 8:49 / /srv/again rw - ext4 /dev/sdd1 rw\n"         // the same disk again
    "42 28 8:81 / /mnt/over rw - ext4 /dev/sdf1 rw\n"
    "43 42 0:50 / /mnt/over rw - tmpfs tmpfs rw\n"              // mounted over: hidden
    "44 28 253:0 / /var/lib/vm rw - xfs /dev/mapper/vg-vm rw\n" // disk (LVM)
    "45 28 0:60 / /home/ann/.cache/doc rw - fuse.portal portal rw\n"
    "garbage line\n"
    "46 28 8:97 / relative rw - ext4 /dev/sdg1 rw\n";

TEST(LocalDisks, OneMountPointPerLocalDiskRootFirst) {
    EXPECT_EQ(
        platform::localDiskMountPoints(kMountinfo),
        (std::vector<std::string>{"/", "/home", "/mnt/data disk", "/mnt/win", "/var/lib/vm"}));
    EXPECT_TRUE(platform::localDiskMountPoints("").empty());
}

TEST_F(SettingsDialogTest, PathPageShowsOneRowPerLocalDisk) {
    disks = platform::localDiskMountPoints(kMountinfo);
    AppConfig.includePath = {"/mnt/win"};
    AppConfig.includePathCustom = {"/mnt/win", "/mnt/nas"};
    open("Path");
    const auto shown = rows(list("lstpath"));
    ASSERT_EQ(shown.size(), 2u + 5u + 1u + 1u);
    EXPECT_EQ(shown[2], "/|/|o");
    EXPECT_EQ(shown[3], "/home|/home|o");
    EXPECT_EQ(shown[4], "/mnt/data disk|/mnt/data disk|o");
    EXPECT_EQ(shown[5], "/mnt/win|/mnt/win|x"); // listed once, as the disk row
    EXPECT_EQ(shown[6], "/var/lib/vm|/var/lib/vm|o");
    EXPECT_EQ(shown[7], "/mnt/nas||o"); // a network share the user added stays a user folder
    for (int row = 2; row <= 6; ++row)
        EXPECT_EQ(list("lstpath")->iconIndex(row), 7);
}

} // namespace
