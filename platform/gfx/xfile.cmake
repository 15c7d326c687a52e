# (filled in with the xfile library)
