#!/usr/bin/perl
# Finds the package (resource 100 of type RCDATA) inside a setup program and
# damages it in place, for the failure tests:
#
#   pe-package.pl locate  EXE              prints "<file offset> <size>" of the package
#   pe-package.pl names   EXE              prints the 53 entry names, one a line
#   pe-package.pl rename  EXE OLD NEW      renames an entry in the directory (NEW no longer than 127)
#   pe-package.pl digest  EXE NAME         flips a bit of the entry's recorded MD5
#   pe-package.pl stored  EXE NAME         flips a bit of the entry's stored bytes
#   pe-package.pl hide    EXE              renumbers the resource, so the program finds no package
use strict;
use warnings;

my ($command, $exe, @args) = @ARGV;
die "usage: pe-package.pl locate|names|rename|digest|stored|hide EXE [ARGS]\n" unless $command && $exe;

open(my $fh, '+<:raw', $exe) or die "pe-package.pl: $exe: $!\n";
local $/;
my $image = <$fh>;

sub u16 { unpack('v', substr($image, $_[0], 2)) }
sub u32 { unpack('V', substr($image, $_[0], 4)) }

my $pe = u32(0x3C);
die "pe-package.pl: not a PE file\n" unless substr($image, $pe, 4) eq "PE\0\0";
my $sections = u16($pe + 6);
my $optional = $pe + 24;
my $optional_size = u16($pe + 20);
my $magic = u16($optional);
my $directories = $optional + ($magic == 0x20B ? 112 : 96);
my $resource_rva = u32($directories + 2 * 8);
die "pe-package.pl: no resources\n" unless $resource_rva;

sub rva_to_offset {
  my ($rva) = @_;
  for my $i (0 .. $sections - 1) {
    my $s = $optional + $optional_size + 40 * $i;
    my ($vsize, $va, $raw_size, $raw) = (u32($s + 8), u32($s + 12), u32($s + 16), u32($s + 20));
    my $span = $vsize > $raw_size ? $vsize : $raw_size;
    return $rva - $va + $raw if $rva >= $va && $rva < $va + $span;
  }
  die sprintf("pe-package.pl: RVA 0x%x in no section\n", $rva);
}

my $root = rva_to_offset($resource_rva);

# The file offset of the directory entry with numeric id $id in the directory at $dir.
sub find_id {
  my ($dir, $id) = @_;
  my $count = u16($dir + 12) + u16($dir + 14);
  for my $i (0 .. $count - 1) {
    my $entry = $dir + 16 + 8 * $i;
    return $entry if u32($entry) == $id;
  }
  return undef;
}

my $type_entry = find_id($root, 10) or die "pe-package.pl: no RCDATA resources\n";
my $names_dir = $root + (u32($type_entry + 4) & 0x7FFFFFFF);
my $id_entry = find_id($names_dir, 100) or die "pe-package.pl: no resource 100\n";
my $languages_dir = $root + (u32($id_entry + 4) & 0x7FFFFFFF);
my $data_entry = $root + u32($languages_dir + 16 + 4);
my $package = rva_to_offset(u32($data_entry));
my $package_size = u32($data_entry + 4);

sub record_of {
  my ($name) = @_;
  for my $i (0 .. 52) {
    my $record = $package + 156 * $i;
    my ($stored) = unpack('Z128', substr($image, $record, 128));
    return $record if $stored eq $name;
  }
  die "pe-package.pl: no entry named $name\n";
}

sub flip {
  my ($offset) = @_;
  substr($image, $offset, 1) = chr(ord(substr($image, $offset, 1)) ^ 0x20);
}

if ($command eq 'locate') {
  print "$package $package_size\n";
} elsif ($command eq 'names') {
  print unpack('Z128', substr($image, $package + 156 * $_, 128)), "\n" for 0 .. 52;
} elsif ($command eq 'rename') {
  my ($old, $new) = @args;
  die "pe-package.pl: new name too long\n" if length($new) > 127;
  substr($image, record_of($old), 128) = pack('a128', $new);
} elsif ($command eq 'digest') {
  flip(record_of($args[0]) + 136 + 3);
} elsif ($command eq 'stored') {
  my $record = record_of($args[0]);
  my ($offset, $size) = (u32($record + 128), u32($record + 132));
  die "pe-package.pl: entry $args[0] is empty\n" unless $size;
  flip($package + $offset + int($size / 2));
} elsif ($command eq 'hide') {
  substr($image, $id_entry, 4) = pack('V', 99);
} else {
  die "pe-package.pl: unknown command $command\n";
}

if ($command ne 'locate' && $command ne 'names') {
  seek($fh, 0, 0) or die;
  print $fh $image or die "pe-package.pl: $exe: $!\n";
}
close($fh) or die;
