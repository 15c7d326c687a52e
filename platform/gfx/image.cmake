# (filled in with the image library)
