#!/usr/bin/perl
# Prints about N bytes of candidate values (64-byte lines) for the option
# -Listeners_N, so the benchmark can size the discovery output.
use strict;
use warnings;

my ($bytes) = ($ARGV[0] // '') =~ /^-Listeners_(\d+)$/ or die "usage: $0 -Listeners_BYTES\n";
my $line = ('v' x 63) . "\n";
my $block = $line x 1024;    # 64 KiB per print
my $left = $bytes;
while ($left >= length $block) {
    print $block;
    $left -= length $block;
}
print $line x int($left / length $line);
