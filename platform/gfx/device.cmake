# (filled in with the device library)
