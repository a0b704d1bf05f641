// xxtea
