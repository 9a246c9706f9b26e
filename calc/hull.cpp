// hull
