# fib_recursive_b2's time against n.  Set by report.py: data, fit_a and
# fit_b (ln t = fit_a + fit_b n over the points from fit_from on, of the time
# less the start-up), fit_title.
set title "fib\\_recursive\\_b2: whole-run time against n"
set xlabel "n"
set ylabel "time (s)"
set logscale y
set format y "10^{%L}"
set xrange [19:41]
set xtics 2
set grid xtics ytics mytics lc rgb "#dddddd"
set key top left box opaque
plot data."/fib.dat" using 1:2:3 with yerrorbars pt 7 title "whole run", \
     data."/fib.dat" using 1:($4 > 0 ? $4 : 1/0) with points pt 6 ps 1.4 title "less the start-up (the mean of n = 20..22)", \
     (x >= fit_from - 4 ? exp(fit_a + fit_b * x) : 1/0) with lines lw 2 title fit_title
