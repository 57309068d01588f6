# SPDX-License-Identifier: MIT
# Starting and stopping udevd in the guest (sourced).
udev_start() {
  mkdir -p /run/udev
  /lib/systemd/systemd-udevd --daemon --resolve-names=never 2>/dev/null
}

# Waits until udevd has handled every event, then ends it.
udev_stop() {
  udevadm settle --timeout=60
  udevadm control --exit
  tries=100
  while pidof systemd-udevd >/dev/null && [ $tries -gt 0 ]; do
    sleep 0.1
    tries=$((tries - 1))
  done
  ! pidof systemd-udevd >/dev/null
}
