// FileSys
