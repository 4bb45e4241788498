# installing and the Debian package
