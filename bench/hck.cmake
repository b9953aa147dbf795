tallisyn_bench(hck LIBS tallisyn_persist ZLIB::ZLIB)
