# Shared by the run and test commands: the packages the build and its tests need.
BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-qpa-plugins libgl-dev libgtest-dev
  googletest libstorm-dev fonts-dejavu-core fonts-liberation desktop-file-utils locales procps
  libcli11-dev nlohmann-json3-dev)
# What the tests need besides: smpq writes the maps the map reader's tests open;
# appstreamcli (appstream) validates the software centre's metainfo; Xvfb,
# dbus-launch (dbus-x11) and the accessibility bus (at-spi2-core) let a test
# run the program on an X server with and without a D-Bus session bus; Ninja
# keeps both cores busy through the test build.
TEST_PACKAGES=(smpq appstream xvfb dbus-x11 at-spi2-core ninja-build)
