// Stand-ins for work of later stages that the model calls into: none are left.
