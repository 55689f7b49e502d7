#!/usr/bin/perl
# Reads a dBASE table with the XBase module and prints, for every record,
# the bytes of its first field's memo in hexadecimal, one record a line.
# Usage: read_dbase_memos.pl TABLE.dbf
use strict;
use warnings;
use XBase;

my $table = XBase->new(name => $ARGV[0]) or die XBase->errstr;
my ($field) = $table->field_names;
print "field $field\n";
print "records ", $table->last_record + 1, "\n";
for my $i (0 .. $table->last_record) {
    my ($deleted, $memo) = $table->get_record($i, $field);
    die "record $i: " . $table->errstr unless defined $deleted;
    die "record $i has no memo\n" unless defined $memo;
    print "deleted " if $deleted;
    print unpack('H*', $memo), "\n";
}
$table->close;
