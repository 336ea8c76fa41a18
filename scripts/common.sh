# Shared by the run and test commands: the packages the build needs.
BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-qpa-plugins libgl-dev libgtest-dev
  googletest libstorm-dev fonts-dejavu-core fonts-liberation desktop-file-utils libcli11-dev
  nlohmann-json3-dev)
# What the tests need besides: smpq writes the maps the map reader's tests open.
TEST_PACKAGES=(smpq)
