tallisyn_bench(text LIBS tallisyn_text)
